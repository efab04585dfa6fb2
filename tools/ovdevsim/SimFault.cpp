#include "SimFault.h"

namespace {
const struct {
    SimFault::Kind kind;
    const char* name;
} kKinds[] = {
    {SimFault::Kind::FailPage, "fail-page"},
    {SimFault::Kind::Refuse, "refuse"},
    {SimFault::Kind::NoAnswer, "no-answer"},
    {SimFault::Kind::CorruptPage, "corrupt-page"},
    {SimFault::Kind::FailBattery, "fail-battery"},
    {SimFault::Kind::FailFirmware, "fail-firmware"},
    {SimFault::Kind::UnplugAfterPages, "unplug-after-pages"},
    {SimFault::Kind::ResizePage, "resize-page"},
};

const struct {
    OrvaneOp op;
    const char* name;
} kOps[] = {
    {OrvaneOp::Battery, "battery"},         {OrvaneOp::Page, "page"},
    {OrvaneOp::SessionList, "sessions"},    {OrvaneOp::Erase, "erase"},
    {OrvaneOp::Identify, "identify"},       {OrvaneOp::Reset, "reset"},
    {OrvaneOp::SetRTC, "set-clock"},        {OrvaneOp::SetDefaultUser, "set-user"},
    {OrvaneOp::GetDefaultUser, "get-user"}, {OrvaneOp::Flash, "flash"},
};
} // namespace

SimFault SimFault::failFirmwareAt(quint32 percent, int times) {
    SimFault fault{Kind::FailFirmware, 0, times, std::nullopt};
    fault.percent = percent;
    return fault;
}

SimFault SimFault::unplugAfterPages(quint32 pages, int times) {
    SimFault fault{Kind::UnplugAfterPages, 0, times, std::nullopt};
    fault.pagesBeforeUnplug = pages;
    return fault;
}

QString SimFault::kindName(Kind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind)
            return QLatin1String(k.name);
    }
    return QString();
}

std::optional<OrvaneOp> SimFault::opFromName(const QString& name) {
    for (const auto& o : kOps) {
        if (name == QLatin1String(o.name))
            return o.op;
    }
    return std::nullopt;
}

QString SimFault::opName(OrvaneOp op) {
    for (const auto& o : kOps) {
        if (o.op == op)
            return QLatin1String(o.name);
    }
    return QString();
}

QJsonObject SimFault::toJson() const {
    QJsonObject json{{QStringLiteral("kind"), kindName(kind)}, {QStringLiteral("times"), remaining}};
    if (kind == Kind::FailPage || kind == Kind::CorruptPage || kind == Kind::ResizePage)
        json.insert(QStringLiteral("page"), qint64(page));
    if (kind == Kind::ResizePage)
        json.insert(QStringLiteral("size"), qint64(size));
    if (kind == Kind::FailFirmware)
        json.insert(QStringLiteral("at_percent"), qint64(percent));
    if (kind == Kind::UnplugAfterPages)
        json.insert(QStringLiteral("pages"), qint64(pagesBeforeUnplug));
    if (op)
        json.insert(QStringLiteral("op"), opName(*op));
    return json;
}

std::optional<SimFault> SimFault::fromJson(const QJsonObject& json, QString* error) {
    auto failWith = [error](const QString& text) {
        if (error)
            *error = text;
        return std::optional<SimFault>();
    };
    SimFault fault;
    const QString kind = json.value(QStringLiteral("kind")).toString();
    bool known = false;
    for (const auto& k : kKinds) {
        if (kind == QLatin1String(k.name)) {
            fault.kind = k.kind;
            known = true;
        }
    }
    if (!known)
        return failWith(QStringLiteral("unknown fault kind '%1'").arg(kind));
    auto number = [&json](const char* key, qint64 fallback) {
        const QJsonValue v = json.value(QLatin1String(key));
        return v.isDouble() ? static_cast<qint64>(v.toDouble()) : (v.isUndefined() ? fallback : -2);
    };
    const qint64 times = number("times", -1);
    if (times == 0 || times < -1 || times > 1000000000)
        return failWith(QStringLiteral("times must be a count from 1 up"));
    fault.remaining = static_cast<int>(times);
    const char* key = nullptr;
    quint32* field = nullptr;
    switch (fault.kind) {
    case Kind::FailPage:
    case Kind::CorruptPage:
    case Kind::ResizePage:
        key = "page";
        field = &fault.page;
        break;
    case Kind::FailFirmware:
        key = "at_percent";
        field = &fault.percent;
        break;
    case Kind::UnplugAfterPages:
        key = "pages";
        field = &fault.pagesBeforeUnplug;
        break;
    default:
        break;
    }
    if (key) {
        const qint64 value = number(key, fault.kind == Kind::FailFirmware ? fault.percent : -1);
        const qint64 limit = fault.kind == Kind::FailFirmware ? 100 : 0xFFFFFFFFll;
        if (value < 0 || value > limit)
            return failWith(
                QStringLiteral("%1 must be a number from 0 to %2").arg(QLatin1String(key)).arg(limit));
        *field = static_cast<quint32>(value);
    }
    if (fault.kind == Kind::ResizePage) {
        const qint64 size = number("size", -1);
        if (size < 0 || size > 65536)
            return failWith(QStringLiteral("size must be a number of bytes from 0 to 65536"));
        fault.size = static_cast<quint32>(size);
    }
    const QString op = json.value(QStringLiteral("op")).toString();
    if (!op.isEmpty()) {
        fault.op = opFromName(op);
        if (!fault.op)
            return failWith(QStringLiteral("unknown request '%1'").arg(op));
    }
    return fault;
}
