#include "serial/serial_exceptions.h"

#include <cstdlib>
#include <unordered_map>

#include "serial/error_table.h"

namespace serial {

ESerialException::ESerialException(int32_t code)
    : Exception(ErrorMessage(uint16_t(std::abs(code)))), ErrorCode(code) {}

namespace {

using Raiser = void (*)(int32_t);

template <class E>
[[noreturn]] void raise(int32_t code) {
    throw E(code);
}

const std::unordered_map<int32_t, Raiser>& mapping() {
    static const std::unordered_map<int32_t, Raiser> kMap = [] {
        std::unordered_map<int32_t, Raiser> m;
#define TOPLUSMS_MAP_CLASS(code, Name, Base) m.emplace(code, raise<Name>);
#define TOPLUSMS_MAP_ALSO(code, Name) m.emplace(code, raise<Name>);
        TOPLUSMS_SERIAL_EXCEPTION_TABLE(TOPLUSMS_MAP_CLASS, TOPLUSMS_MAP_ALSO)
#undef TOPLUSMS_MAP_CLASS
#undef TOPLUSMS_MAP_ALSO
        return m;
    }();
    return kMap;
}

}  // namespace

bool IsMappedCode(int32_t code) {
    return mapping().contains(code);
}

size_t MappedCodeCount() {
    return mapping().size();
}

void RaiseSerialError(int32_t code) {
    if (auto it = mapping().find(code); it != mapping().end()) {
        it->second(code);
    }
    if (code <= -2 && code >= -162) {
        if (code == -8) {
            throw EOutOfMemory();
        }
        throw EInOutError(ErrorMessage(uint16_t(-code)), -code);
    }
    throw ESerialException("Serial exception");
}

}  // namespace serial
