#include "web/web_serial.h"

#include "web/page_bridge.h"

#include <cstdlib>
#include <emscripten.h>
#include <map>

namespace {

// clang-format off
EM_JS(int, js_port_count, (), { return Module.serial.portCount(); });
EM_JS(int, js_open, (int index, int rate, int quiet),
      { return Module.serial.open(index, rate, quiet !== 0); });
EM_JS(int, js_write, (int id, const char* bytes, int n),
      { return Module.serial.write(id, HEAPU8.slice(bytes, bytes + n)) ? 1 : 0; });
EM_JS(void, js_set_rate, (int id, int rate), { Module.serial.setRate(id, rate); });
EM_JS(int, js_pending, (int id), { return Module.serial.pending(id); });
EM_JS(int, js_read, (int id, char* buffer, int max), {
    const bytes = Module.serial.read(id, max);
    HEAPU8.set(bytes, buffer);
    return bytes.length;
});
// null while the line lives; else why it was lost (malloc'd UTF-8).
EM_JS(char*, js_lost, (int id), {
    const reason = Module.serial.lost(id);
    return reason === null ? 0 : allocateUTF8(reason);
});
EM_JS(int, js_open_failed, (int id), { return Module.serial.openFailed(id) ? 1 : 0; });
EM_JS(void, js_close, (int id), { Module.serial.close(id); });
// clang-format on

std::map<int, std::function<void()>>& ReadyCalls() {
    static std::map<int, std::function<void()>> calls;
    return calls;
}

std::map<int, std::function<void()>>& PostedCalls() {
    static std::map<int, std::function<void()>> calls;
    return calls;
}

WebCommControl* g_control = nullptr;
bool g_startingUp = false;

const std::string kDevicePrefix = "webserial:";

class WebSerialLine : public CommLine {
  public:
    explicit WebSerialLine(int id) : id_(id) {}
    ~WebSerialLine() override { close(); }
    void watch(std::function<void()> ready) override { ReadyCalls()[id_] = std::move(ready); }
    bool write(std::string_view bytes, LineError* error) override {
        if (id_ < 0 || !js_write(id_, bytes.data(), int(bytes.size()))) {
            error->reason = "the port is lost";
            return false;
        }
        return true;
    }
    bool setRate(int rate, LineError*) override {
        js_set_rate(id_, rate); // closes and opens the port again at rate
        return true;
    }
    bool take(std::string* bytes, LineError* error) override {
        if (id_ < 0)
            return false;
        for (int n = js_pending(id_); n > 0; n = js_pending(id_)) {
            std::string chunk(std::size_t(n), '\0');
            chunk.resize(std::size_t(js_read(id_, chunk.data(), n)));
            *bytes += chunk;
        }
        if (char* reason = js_lost(id_)) {
            error->reason = reason;
            std::free(reason);
            return false;
        }
        return true;
    }
    void close() override {
        if (id_ < 0)
            return;
        ReadyCalls().erase(id_);
        js_close(id_);
        id_ = -1;
    }

  private:
    int id_;
};

class WebCommHost : public CommHost {
  public:
    PortEntry portEntry(int) const override { return {}; }
    ports::FolderStyle folderStyle() const override { return ports::FolderStyle::Links; }
    std::vector<std::string> systemPorts() const override {
        std::vector<std::string> ports;
        const int count = js_port_count();
        for (int i = 1; i <= count; ++i)
            ports.push_back(kDevicePrefix + std::to_string(i));
        return ports;
    }
    // Past the ports granted: the open tells whether one was granted since.
    NumberedPort numberedPort(int n) const override {
        return {kDevicePrefix + std::to_string(n), {}};
    }
    std::unique_ptr<CommLine> openSerial(const std::string& device, int rate,
                                         LineError* error) override {
        const int n = std::atoi(device.c_str() + kDevicePrefix.size());
        const int id = js_open(n - 1, rate, g_startingUp ? 1 : 0);
        if (id < 0) {
            error->reason = "the port is not granted to the page";
            return nullptr;
        }
        return std::make_unique<WebSerialLine>(id);
    }
    std::unique_ptr<CommLine> makeNet(const NetAddress&) override { return nullptr; }
    bool post(std::function<void()> call) override {
        static int next = 0;
        const int id = ++next;
        PostedCalls()[id] = std::move(call);
        page::Post(id);
        return true;
    }
    bool runInBackground(std::function<void()>, std::function<void()>) override { return false; }
};

} // namespace

WebCommControl::WebCommControl() : LineCommControl(std::make_unique<WebCommHost>()) {
    g_control = this;
}

void WebCommControl::SetStartingUp(bool startingUp) {
    g_startingUp = startingUp;
}

WebCommControl::~WebCommControl() {
    g_control = nullptr;
}

void WebLineReady(int id) {
    const auto it = ReadyCalls().find(id);
    if (it == ReadyCalls().end())
        return;
    const bool openFailed = js_open_failed(id) != 0;
    std::string reason;
    if (openFailed) {
        if (char* lost = js_lost(id)) {
            reason = lost;
            std::free(lost);
        }
    }
    // The control may close the line inside: the call is a copy.
    const std::function<void()> ready = it->second;
    ready();
    if (openFailed && g_control)
        g_control->OpenFailed(reason);
}

void WebRunPosted(int id) {
    const auto it = PostedCalls().find(id);
    if (it == PostedCalls().end())
        return;
    const std::function<void()> call = std::move(it->second);
    PostedCalls().erase(it);
    call();
}
