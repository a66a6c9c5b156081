#include "platform/name_lookup.h"

#include "platform/tcp_socket.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace tcp {
namespace {

std::atomic<LookupHook> g_hook{nullptr};

// What the waiting side and the resolver's thread share; the last one to
// let go of it frees it.
struct Shared {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool abandoned = false;
    Lookup result;
};

Lookup Resolve(const std::string& host, const std::string& service, const addrinfo& hints,
               LookupHook hook) {
    if (hook)
        hook(host);
    Lookup r;
    errno = 0;
    r.rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &r.list);
#ifdef _WIN32
    r.sysError = r.rc;
#else
    r.sysError = errno;
#endif
    if (r.rc != 0)
        r.list = nullptr;
    return r;
}

} // namespace

void SetLookupHook(LookupHook hook) {
    g_hook = hook;
}

bool LookUpWithin(const std::string& host, const std::string& service, const addrinfo& hints,
                  std::chrono::steady_clock::time_point deadline, Lookup* out) {
    const LookupHook hook = g_hook;
    auto shared = std::make_shared<Shared>();
    try {
        std::thread([shared, host, service, hints, hook] {
            Lookup r = Resolve(host, service, hints, hook);
            std::lock_guard lock(shared->mutex);
            if (shared->abandoned) {
                if (r.list)
                    ::freeaddrinfo(r.list);
                return;
            }
            shared->result = r;
            shared->done = true;
            shared->answered.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        // No thread to be had: the lookup as the system does it.
        *out = Resolve(host, service, hints, hook);
        return true;
    }
    std::unique_lock lock(shared->mutex);
    if (!shared->answered.wait_until(lock, deadline, [&] { return shared->done; })) {
        shared->abandoned = true;
        return false;
    }
    *out = shared->result;
    return true;
}

} // namespace tcp
