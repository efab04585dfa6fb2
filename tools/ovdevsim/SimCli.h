#pragma once

#include <QStringList>

/**
 * The `ovdevsim` command line: `ovdevsim [--socket PATH] [--wait SECONDS] COMMAND [ARGS]`. Exit
 * status 0 on success, 1 when the daemon refuses the request, 2 on bad arguments, 3 when no daemon
 * answers. Messages go to stderr; results (serials, tables, JSON, dumps) to stdout.
 */
class SimCli {
public:
    static int run(const QStringList& arguments);
};
