#include "platform/tcp_socket.h"

namespace tcp {

const char* FailureText(Failure failure) {
    switch (failure) {
    case Failure::None:
        return "no failure";
    case Failure::NameNotFound:
        return "name not found";
    case Failure::Refused:
        return "connection refused";
    case Failure::TimedOut:
        return "timed out";
    case Failure::ClosedByServer:
        return "closed by the server";
    case Failure::Other:
        break;
    }
    return "failed";
}

std::string Describe(const Error& error) {
    std::string text = FailureText(error.failure);
    if (!error.reason.empty() && error.reason != text)
        text += " (" + error.reason + ")";
    return text;
}

} // namespace tcp
