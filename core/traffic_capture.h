// The traffic record as a capture file and back: what the analysis window's
// "导出抓包文件" writes and its "打开抓包文件" shows. Plain code.
#pragma once

#include "core/capture_file.h"
#include "core/traffic_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CommControl;
class MonitorTable;

// The window's line as a capture's interface: "COM3" and its rate.
CaptureInterface CommCaptureLine(const CommControl& comm);

// "vxt4710 1.2.3": the application a capture names.
std::string CaptureApplication();

// Every row as a capture of one interface: each frame and status byte a
// packet with its direction, its time and the row's meaning as comment;
// handed to write in pieces of about a megabyte. False as soon as a write
// returns false.
bool WriteTrafficCapture(const TrafficRecord& record, const CaptureInterface& line,
                         const std::function<bool(std::string_view)>& write);

// The monitor window's rows as the command-line monitor captures a watch:
// one interface per tap (host: packets to the chip, chip: from it), each
// row a packet at epochStartUs (the wall clock at the watch's t = 0) + its
// own time. Pieces of about a megabyte; false once a write failed.
bool WriteMonitorCapture(const MonitorTable& table, const CaptureInterface& host,
                         const CaptureInterface& chip, int64_t epochStartUs,
                         const std::function<bool(std::string_view)>& write);

// What a capture file gave a record: what could not be read, and how many
// packets could.
struct CaptureRecorded {
    std::vector<std::string> problems;
    int64_t packets = 0;
};

// A capture file's packets as the live traffic would have recorded them, at
// their own times: frames to the chip are sent frames, each byte from the
// chip a status byte read (read while a rate change waited when its comment
// says so). A packet that does not say its direction is a frame when it
// starts with 0xFD. The record keeps them all.
CaptureRecorded RecordCapture(std::string_view file, TrafficRecord& record);

// "通信分析 - a.pcapng": the title of a window showing a capture.
std::u16string CaptureWindowTitle(std::u16string_view fileName);

// What a user is told about a capture read with problems (empty: none):
// each problem, and that what could be read is shown.
std::u16string CaptureProblemsText(std::u16string_view fileName, const CaptureRecorded& read);

// The largest capture file the windows read (bytes): beyond it they say so.
inline constexpr int64_t kMaxCaptureFileBytes = int64_t(1) << 30;
