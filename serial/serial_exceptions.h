#pragma once
// The exceptions of the serial layer: ESerialException with its category classes and
// their descendants, and the runtime's general, input/output and out-of-memory errors.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "serial/exception_table.h"

namespace serial {

// The runtime's general exception: a message text.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// An input/output error of the runtime: message and error number (positive).
class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, int32_t errorCode)
        : Exception(message), ErrorCode(errorCode) {}
    int32_t ErrorCode;
};

class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
};

class ESerialException : public Exception {
public:
    // From a code: the message is the table's text for the code's magnitude.
    explicit ESerialException(int32_t code);
    // From a text: ErrorCode is 0.
    explicit ESerialException(const std::string& text) : Exception(text), ErrorCode(0) {}
    explicit ESerialException(const char* text) : ESerialException(std::string(text)) {}
    int32_t ErrorCode;
};

#define TOPLUSMS_SERIAL_EXCEPTION(Name, Base) \
    class Name : public Base {                \
    public:                                   \
        using Base::Base;                     \
    };

// Categories.
TOPLUSMS_SERIAL_EXCEPTION(EGeneral, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(EOpenComm, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(ESerialIO, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(EModem, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(ETrigger, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(EProtocol, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(EINI, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(EFax, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(ETapi, ESerialException)
TOPLUSMS_SERIAL_EXCEPTION(ERas, ESerialException)

// Every class raised by a code, from the table of codes and classes.
#define TOPLUSMS_SERIAL_EXCEPTION_CLASS(code, Name, Base) TOPLUSMS_SERIAL_EXCEPTION(Name, Base)
#define TOPLUSMS_SERIAL_EXCEPTION_NONE(code, Name)
TOPLUSMS_SERIAL_EXCEPTION_TABLE(TOPLUSMS_SERIAL_EXCEPTION_CLASS, TOPLUSMS_SERIAL_EXCEPTION_NONE)
#undef TOPLUSMS_SERIAL_EXCEPTION_CLASS
#undef TOPLUSMS_SERIAL_EXCEPTION_NONE

// Whether the code is one of the mapped codes.
bool IsMappedCode(int32_t code);
// Number of mapped codes.
size_t MappedCodeCount();

// Raises what CheckResult raises for a negative code (the loading rule aside): the
// mapped class, the runtime's error for -2 to -162, else "Serial exception".
[[noreturn]] void RaiseSerialError(int32_t code);

}  // namespace serial
