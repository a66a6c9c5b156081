// The traffic record as a capture file and back: what the analysis window's
// "导出抓包文件" writes and its "打开抓包文件" shows. Plain code.
#pragma once

#include "core/capture_file.h"
#include "core/traffic_record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class CommControl;

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

// A capture's packets as the live traffic would have recorded them, at their
// own times: frames to the chip are sent frames, each byte from the chip a
// status byte read (read while a rate change waited when its comment says
// so). A packet that does not say its direction is a frame when it starts
// with 0xFD. The record keeps them all.
void RecordCapture(const std::vector<CapturePacket>& packets, TrafficRecord& record);

// "通信分析 - a.pcapng": the title of a window showing a capture.
std::u16string CaptureWindowTitle(std::u16string_view fileName);

// What a user is told about a capture read with problems (empty: none):
// each problem, and that what could be read is shown.
std::u16string CaptureProblemsText(std::u16string_view fileName, const CaptureContents& contents);

// The largest capture file the windows read (bytes): beyond it they say so.
inline constexpr int64_t kMaxCaptureFileBytes = int64_t(1) << 30;
