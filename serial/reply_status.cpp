#include "serial/reply_status.h"

#include "core/line_rates.h"

QString ReplyLogText(uint8_t status, bool baudPending) {
    switch (status) {
    case ChipStatus::Received:
        return baudPending ? QStringLiteral("<-0x41  接收成功   波特率已修改成功")
                           : QStringLiteral("<-0x41  接收成功");
    case ChipStatus::Failed:
        return baudPending ? QStringLiteral("<-0x45  接收失败  波特率未成功修改")
                           : QStringLiteral("<-0x45  接收失败");
    case ChipStatus::InitDone:
        return QStringLiteral("<-0x4A  初始化成功回传");
    case ChipStatus::Speaking:
        return QStringLiteral("<-0x4E  芯片正在播音");
    case ChipStatus::Idle:
        return QStringLiteral("<-0x4F  芯片空闲");
    default:
        return QString();
    }
}

ReplyExplanation ExplainReply(uint8_t status, bool ratePending) {
    ReplyExplanation e;
    e.log = ReplyLogText(status, ratePending);
    if (ratePending && status == ChipStatus::Received)
        e.rate = RateChange::Done;
    else if (ratePending && status == ChipStatus::Failed)
        e.rate = RateChange::Refused;
    return e;
}

QString SettingsForRateIndex(int index) {
    const char* settings = SettingsOfIndex(index);
    return settings ? QString::fromLatin1(settings) : QString();
}
