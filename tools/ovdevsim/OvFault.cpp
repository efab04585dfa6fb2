#include "OvFault.h"

namespace {
const struct {
    OvFault::Kind kind;
    const char* name;
} kKinds[] = {
    {OvFault::Kind::FailPage, "fail-page"},
    {OvFault::Kind::Refuse, "refuse"},
    {OvFault::Kind::NoAnswer, "no-answer"},
    {OvFault::Kind::CorruptPage, "corrupt-page"},
    {OvFault::Kind::FailBattery, "fail-battery"},
    {OvFault::Kind::FailFirmware, "fail-firmware"},
    {OvFault::Kind::UnplugAfterPages, "unplug-after-pages"},
    {OvFault::Kind::ResizePage, "resize-page"},
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

OvFault OvFault::failFirmwareAt(quint32 percent, int times) {
    OvFault fault{Kind::FailFirmware, 0, times, std::nullopt};
    fault.percent = percent;
    return fault;
}

OvFault OvFault::unplugAfterPages(quint32 pages, int times) {
    OvFault fault{Kind::UnplugAfterPages, 0, times, std::nullopt};
    fault.pagesBeforeUnplug = pages;
    return fault;
}

QString OvFault::kindName(Kind kind) {
    for (const auto& k : kKinds) {
        if (k.kind == kind)
            return QLatin1String(k.name);
    }
    return QString();
}

std::optional<OrvaneOp> OvFault::opFromName(const QString& name) {
    for (const auto& o : kOps) {
        if (name == QLatin1String(o.name))
            return o.op;
    }
    return std::nullopt;
}

QString OvFault::opName(OrvaneOp op) {
    for (const auto& o : kOps) {
        if (o.op == op)
            return QLatin1String(o.name);
    }
    return QString();
}

QJsonObject OvFault::toJson() const {
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

std::optional<OvFault> OvFault::fromJson(const QJsonObject& json, QString* error) {
    auto failWith = [error](const QString& text) {
        if (error)
            *error = text;
        return std::optional<OvFault>();
    };
    OvFault fault;
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
