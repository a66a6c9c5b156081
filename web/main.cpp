// The console's window in the browser: the page (page.js) draws the control
// table it gets from here, then starts the core's window on its elements;
// every event of the page comes back through the functions exported here.
#include "core/control_table.h"
#include "core/form1.h"
#include "core/form1_events.h"
#include "core/hex_entry_check.h"
#include "core/json_writer.h"
#include "core/text_files.h"
#include "core/text_util.h"
#include "core/traffic_table.h"
#include "web/page_controls.h"
#include "web/web_serial.h"

#include <emscripten.h>
#include <memory>
#include <vector>

namespace {

std::string Utf8(std::u16string_view text) {
    return Utf8FromUtf16(text);
}

// The kinds' names for the page, in the order of ControlKind.
constexpr const char* kKindNames[] = {"Frame",         "TextBox",    "LineBox",
                                      "CommandButton", "CheckBox",   "ComboBox",
                                      "Label",         "HScrollBar", "OptionButton"};

std::unique_ptr<ui::Control> MakeControl(ControlKind kind, const std::string& name,
                                         const RaiseEvent& raise) {
    switch (kind) {
    case ControlKind::Frame:
        return std::make_unique<PageFrame>(name, raise);
    case ControlKind::TextBox:
        return std::make_unique<PageTextBox>(name, raise);
    case ControlKind::LineBox:
        return std::make_unique<PageLineBox>(name, raise);
    case ControlKind::CommandButton:
        return std::make_unique<PageButton>(name, raise);
    case ControlKind::CheckBox:
        return std::make_unique<PageCheckBox>(name, raise);
    case ControlKind::ComboBox:
        return std::make_unique<PageComboBox>(name, raise);
    case ControlKind::Label:
        return std::make_unique<PageLabel>(name, raise);
    case ControlKind::HScrollBar:
        return std::make_unique<PageScrollBar>(name, raise);
    case ControlKind::OptionButton:
        return std::make_unique<PageOptionButton>(name, raise);
    }
    return nullptr;
}

std::string DialogJson(const TextFileDialog& dialog) {
    std::vector<std::string> filters;
    for (const TextFileFilter& f : dialog.filters)
        filters.push_back(Utf8(f.label));
    return "{\"caption\":" + JsonString(Utf8(dialog.caption)) +
           ",\"fileName\":" + JsonString(Utf8(dialog.fileName)) +
           ",\"filter\":" + std::to_string(dialog.filter) +
           ",\"filters\":" + JsonValue(filters).text() + "}";
}

// The file the user picked or named in the page's own dialog, for the
// core's next file dialog and file service call.
struct ChosenFile {
    FileChoice choice;
    std::string bytes;
    int64_t size = 0;
};
ChosenFile g_chosen;

// clang-format off
EM_JS(char*, js_kept_text, (), {
    const text = Module.page.keptText();
    return text === null ? 0 : allocateUTF8(text);
});
EM_JS(void, js_download, (const char* name, const char* bytes, int n),
      { Module.page.download(UTF8ToString(name), HEAPU8.slice(bytes, bytes + n)); });
EM_JS(void, js_show_analysis, (const char* json), { Module.page.showAnalysis(UTF8ToString(json)); });
// The browser's offset from UTC at a moment, in ms.
EM_JS(double, js_utc_offset, (double ms), { return -new Date(ms).getTimezoneOffset() * 60000; });
// clang-format on

// The text kept from the last visit, when GBK has no code for a character
// of it: the core reads the kept text as the initial file reads, in GBK, so
// such a text is put back after start-up instead of being lost.
std::optional<std::u16string> g_keptUnencodable;

InitialFile KeptText() {
    char* kept = js_kept_text();
    if (!kept)
        return {}; // the first visit: the design text stays
    const std::u16string text = Utf16FromUtf8(kept);
    std::free(kept);
    const std::optional<std::string> gbk = EncodeText(text, TextEncoding::Gbk);
    if (!gbk) {
        g_keptUnencodable = text;
        return {};
    }
    if (int64_t(gbk->size()) > kInitialTextMaxBytes)
        return {InitialFile::Outcome::TooLarge, {}};
    return {InitialFile::Outcome::Read, *gbk};
}

int64_t UtcOffsetAt(int64_t epochMs) {
    return int64_t(js_utc_offset(double(epochMs)));
}

std::string Strings(const std::vector<std::u16string>& texts) {
    std::vector<std::string> utf8;
    for (const std::u16string& t : texts)
        utf8.push_back(Utf8(t));
    return JsonValue(utf8).text();
}

// "通信分析": the record as the analysis window's table, in a dialog of the page.
void ShowAnalysis(const TrafficRecord& record) {
    std::string rows;
    for (int row = 0; row < record.Count(); ++row) {
        std::vector<std::u16string> cells;
        for (int column = 0; column < TrafficColumn::Count; ++column)
            cells.push_back(TrafficCell(record, row, column, UtcOffsetAt));
        rows += (row ? "," : "") + Strings(cells);
    }
    js_show_analysis(("{\"title\":" + JsonString(Utf8(AnalysisTitle(record.Dropped()))) +
                      ",\"export\":" + JsonString(Utf8(kAnalysisExport)) +
                      ",\"headers\":" + Strings(TrafficHeaders()) + ",\"rows\":[" + rows + "]}")
                         .c_str());
}

Form1Services PageServices(CommControl* comm, const Form1* form) {
    Form1Services services;
    services.showAnalysis = [form] { ShowAnalysis(form->Traffic); };
    services.comm = comm;
    services.messageBox = [](std::u16string_view text) { page::MessageBox(Utf8(text)); };
    services.sleepMs = [](int32_t ms) { page::Sleep(ms); };
    services.readInitialFile = KeptText;
    services.fileDialog = [](const TextFileDialog&) { return g_chosen.choice; };
    services.files.read = [](const std::string&, FileReadMode, int64_t limit) {
        FileRead read;
        if (g_chosen.size > limit) {
            read.outcome = FileRead::Outcome::TooLarge;
            return read;
        }
        read.outcome = FileRead::Outcome::Read;
        read.bytes = g_chosen.bytes;
        return read;
    };
    services.files.save = [](const std::string& path, std::string_view bytes) {
        js_download(path.c_str(), bytes.data(), int(bytes.size()));
        return std::string();
    };
    return services;
}

class PageWindow : public Form1 {
  public:
    explicit PageWindow(std::unique_ptr<WebCommControl> comm)
        : Form1(PageServices(comm.get(), this)), comm_(std::move(comm)) {
        const RaiseEvent raise = [this](const std::string& name, FormEvent event) {
            if (const auto handler = Form1Handler(name, event))
                (this->*handler)();
        };
        for (const DesignedControl& designed : ControlTable()) {
            controls_.push_back(MakeControl(designed.kind, designed.name, raise));
            AttachControl(*this, designed.name, controls_.back().get());
        }
        MSComm1->SetOnComm([this] { MSComm1_OnComm(); });
        MSComm1->SetOnPortFailure(
            [this](const std::string& reason) { BackgroundPortFailure(reason); });
    }

  private:
    std::unique_ptr<WebCommControl> comm_;
    std::vector<std::unique_ptr<ui::Control>> controls_;
};

std::unique_ptr<PageWindow> g_window;
std::string g_json;

} // namespace

extern "C" {

// The control table, the design values, the menus and the dialogs as JSON.
EMSCRIPTEN_KEEPALIVE const char* vxt_design_json() {
    std::string controls;
    for (const DesignedControl& c : ControlTable()) {
        std::vector<std::string> entries;
        for (const std::u16string& e : ComboEntries(c.name))
            entries.push_back(Utf8(e));
        controls +=
            std::string(controls.empty() ? "" : ",") + "{\"name\":" + JsonString(c.name) +
            ",\"kind\":" + JsonString(kKindNames[int(c.kind)]) +
            ",\"container\":" + JsonString(c.container) +
            ",\"caption\":" + JsonString(Utf8(c.caption)) + ",\"left\":" + std::to_string(c.left) +
            ",\"top\":" + std::to_string(c.top) + ",\"width\":" + std::to_string(c.width) +
            ",\"height\":" + std::to_string(c.height) + ",\"tab\":" + std::to_string(c.tab) +
            ",\"entries\":" + JsonValue(entries).text() + "}";
    }
    std::string values;
    for (const DesignedValue& v : DesignedValues())
        values += std::string(values.empty() ? "" : ",") +
                  "{\"control\":" + JsonString(std::string(v.control)) +
                  ",\"min\":" + std::to_string(v.min) + ",\"max\":" + std::to_string(v.max) +
                  ",\"value\":" + std::to_string(v.value) + "}";
    std::string menus;
    for (const MenuEntryRow& m : Form1MenuEntries())
        menus += std::string(menus.empty() ? "" : ",") +
                 "{\"control\":" + JsonString(std::string(m.control)) +
                 ",\"caption\":" + JsonString(Utf8(m.caption)) +
                 ",\"id\":" + JsonString(std::string(m.id)) + "}";
    g_json = "{\"title\":" + JsonString(Utf8(kWindowTitle)) +
             ",\"width\":" + std::to_string(kClientWidthTwips) +
             ",\"height\":" + std::to_string(kClientHeightTwips) +
             ",\"portFailure\":" + JsonString(Utf8(kPortFailureText)) + ",\"controls\":[" +
             controls + "],\"values\":[" + values + "],\"menus\":[" + menus +
             "],\"dialogs\":{\"SaveTextAs\":" + DialogJson(SaveTextAsDialog()) +
             ",\"SaveLog\":" + DialogJson(SaveLogDialog()) + "}}";
    return g_json.c_str();
}

// Makes the window on the page's elements and runs its start-up.
EMSCRIPTEN_KEEPALIVE void vxt_start() {
    g_window = std::make_unique<PageWindow>(std::make_unique<WebCommControl>());
    WebCommControl::SetStartingUp(true);
    g_window->Form_Load();
    WebCommControl::SetStartingUp(false);
    if (g_keptUnencodable)
        g_window->Text3->SetText(*g_keptUnencodable);
}

// Control row (of the control table) raised event (0 click, 1 change).
EMSCRIPTEN_KEEPALIVE void vxt_event(int row, int event) {
    if (!g_window || row < 0 || std::size_t(row) >= ControlTable().size())
        return;
    if (const auto handler = Form1Handler(ControlTable()[std::size_t(row)].name,
                                          event == 0 ? FormEvent::Click : FormEvent::Change))
        (g_window.get()->*handler)();
}

// The name (UTF-8) and bytes of the file the user chose, for the next
// open; size is the file's, bytes only what was read of it.
EMSCRIPTEN_KEEPALIVE void vxt_choose_file(const char* name, const char* bytes, int n, double size,
                                          int filter) {
    g_chosen.choice = {name, Utf16FromUtf8(name), filter};
    g_chosen.bytes.assign(bytes ? bytes : "", std::size_t(bytes ? n : 0));
    g_chosen.size = int64_t(size);
}

// Context menu entry row of the core's menus.
EMSCRIPTEN_KEEPALIVE void vxt_menu(int row) {
    if (!g_window || row < 0 || std::size_t(row) >= Form1MenuEntries().size())
        return;
    (g_window.get()->*Form1MenuEntries()[std::size_t(row)].action)();
    g_chosen = {};
}

// The analysis dialog's CSV export: the whole record, as the windows write it.
EMSCRIPTEN_KEEPALIVE void vxt_export_csv() {
    if (!g_window)
        return;
    std::string csv;
    WriteTrafficCsv(g_window->Traffic, UtcOffsetAt, [&csv](std::string_view piece) {
        csv += piece;
        return true;
    });
    js_download(Utf8(kAnalysisCsvName).c_str(), csv.data(), int(csv.size()));
}

EMSCRIPTEN_KEEPALIVE void vxt_unload() {
    if (g_window && !g_window->Unloaded())
        g_window->Form_Unload();
}

// Text5's tooltip for its text (UTF-8).
EMSCRIPTEN_KEEPALIVE const char* vxt_hex_tip(const char* text) {
    static std::string tip;
    tip = Utf8(HexEntryTip(Utf16FromUtf8(text)));
    return tip.c_str();
}

EMSCRIPTEN_KEEPALIVE void vxt_line_ready(int id) {
    WebLineReady(id);
}

EMSCRIPTEN_KEEPALIVE void vxt_run_posted(int id) {
    WebRunPosted(id);
}

} // extern "C"

int main() {
    // The page starts the window once it has drawn the controls; the
    // runtime stays for the page's events.
    return 0;
}
