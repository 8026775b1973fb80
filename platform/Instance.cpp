// Windows of another copy of the program on the same device (work in
// progress: the socket service follows).

#include "platform/instance.h"
#include "platform/Handles.h"

namespace platform::instance::detail {

int StartListening(const std::string& name) {
    return -1;
}
void StopListening(int token) {}

} // namespace platform::instance::detail
