#include "core/reply_status.h"

#include "core/line_rates.h"

std::u16string ReplyLogText(uint8_t status, bool baudPending) {
    switch (status) {
    case ChipStatus::Received:
        return baudPending ? u"<-0x41  接收成功   波特率已修改成功"
                           : u"<-0x41  接收成功";
    case ChipStatus::Failed:
        return baudPending ? u"<-0x45  接收失败  波特率未成功修改"
                           : u"<-0x45  接收失败";
    case ChipStatus::InitDone:
        return u"<-0x4A  初始化成功回传";
    case ChipStatus::Speaking:
        return u"<-0x4E  芯片正在播音";
    case ChipStatus::Idle:
        return u"<-0x4F  芯片空闲";
    default:
        return {};
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

std::string SettingsForRateIndex(int index) {
    const char* settings = SettingsOfIndex(index);
    return settings ? std::string(settings) : std::string();
}
