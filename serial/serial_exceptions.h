#pragma once
// The exceptions of the serial layer: ESerialException with its category classes and
// their descendants, and the runtime's general, input/output and out-of-memory errors.

#include <cstdint>
#include <stdexcept>
#include <string>

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

// The code -> class mapping lives in serial_exceptions.cpp; every class raised by it:
#define TOPLUSMS_SERIAL_EXCEPTION_CLASSES(X) \
    X(EBadArgument, EGeneral)                \
    X(EGotQuitMsg, EGeneral)                 \
    X(EBufferTooBig, EGeneral)               \
    X(EPortNotAssigned, EGeneral)            \
    X(EInternal, EGeneral)                   \
    X(EModemNotAssigned, EGeneral)           \
    X(EPhonebookNotAssigned, EGeneral)       \
    X(ECannotUseWithWinSock, EGeneral)       \
    X(EBadId, EOpenComm)                     \
    X(EBaudRate, EOpenComm)                  \
    X(EByteSize, EOpenComm)                  \
    X(EDefault, EOpenComm)                   \
    X(EHardware, EOpenComm)                  \
    X(EMemory, EOpenComm)                    \
    X(ECommNotOpen, EOpenComm)               \
    X(EAlreadyOpen, EOpenComm)               \
    X(ENoHandles, EOpenComm)                 \
    X(ENoTimers, EOpenComm)                  \
    X(ENoPortSelected, EOpenComm)            \
    X(ENotOpenedByTapi, EOpenComm)           \
    X(ENullApi, ESerialIO)                   \
    X(ERegisterHandlerFailed, ESerialIO)     \
    X(EPutBlockFail, ESerialIO)              \
    X(EGetBlockFail, ESerialIO)              \
    X(EOutputBufferTooSmall, ESerialIO)      \
    X(EBufferIsEmpty, ESerialIO)             \
    X(ETracingNotEnabled, ESerialIO)         \
    X(ELoggingNotEnabled, ESerialIO)         \
    X(EBaseAddressNotSet, ESerialIO)         \
    X(ENoMoreTriggers, ETrigger)             \
    X(ETriggerTooLong, ETrigger)             \
    X(EBadTriggerHandle, ETrigger)           \
    X(EModemNotStarted, EModem)              \
    X(EModemBusy, EModem)                    \
    X(EModemNotDialing, EModem)              \
    X(ENotDialing, EModem)                   \
    X(EAlreadyDialing, EModem)               \
    X(EModemNotResponding, EModem)           \
    X(EModemRejectedCommand, EModem)         \
    X(EModemStatusMismatch, EModem)          \
    X(EKeyTooLong, EINI)                     \
    X(EDataTooLarge, EINI)                   \
    X(EIniWrite, EINI)                       \
    X(EIniRead, EINI)                        \
    X(ERecordExists, EINI)                   \
    X(ERecordNotFound, EINI)                 \
    X(EDatabaseFull, EINI)                   \
    X(EDatabaseEmpty, EINI)                  \
    X(EBadFieldList, EINI)                   \
    X(EBadFieldForIndex, EINI)               \
    X(EFaxBadFormat, EFax)                   \
    X(EBadGraphicsFormat, EFax)              \
    X(EConvertAbort, EFax)                   \
    X(EUnpackAbort, EFax)                    \
    X(ECantMakeBitmap, EFax)                 \
    X(EInvalidPageNumber, EFax)              \
    X(EFaxBadMachine, EFax)                  \
    X(EFaxBadModemResult, EFax)              \
    X(EFaxTrainError, EFax)                  \
    X(EFaxInitError, EFax)                   \
    X(EFaxBusy, EFax)                        \
    X(EFaxVoiceCall, EFax)                   \
    X(EFaxDataCall, EFax)                    \
    X(EFaxNoDialTone, EFax)                  \
    X(EFaxNoCarrier, EFax)                   \
    X(EFaxSessionError, EFax)                \
    X(EFaxPageError, EFax)                   \
    X(ETapiAllocated, ETapi)                 \
    X(ETapiBadDeviceID, ETapi)               \
    X(ETapiBearerModeUnavail, ETapi)         \
    X(ETapiCallUnavail, ETapi)               \
    X(ETapiCompletionOverrun, ETapi)         \
    X(ETapiConferenceFull, ETapi)            \
    X(ETapiDialBilling, ETapi)               \
    X(ETapiDialDialtone, ETapi)              \
    X(ETapiDialPrompt, ETapi)                \
    X(ETapiDialQuiet, ETapi)                 \
    X(ETapiIncompatibleApiVersion, ETapi)    \
    X(ETapiIncompatibleExtVersion, ETapi)    \
    X(ETapiIniFileCorrupt, ETapi)            \
    X(ETapiInUse, ETapi)                     \
    X(ETapiInvalAddress, ETapi)              \
    X(ETapiInvalAddressID, ETapi)            \
    X(ETapiInvalAddressMode, ETapi)          \
    X(ETapiInvalAddressState, ETapi)         \
    X(ETapiInvalAppHandle, ETapi)            \
    X(ETapiInvalAppName, ETapi)              \
    X(ETapiInvalBearerMode, ETapi)           \
    X(ETapiInvalCallComplMode, ETapi)        \
    X(ETapiInvalCallHandle, ETapi)           \
    X(ETapiInvalCallParams, ETapi)           \
    X(ETapiInvalCallPrivilege, ETapi)        \
    X(ETapiInvalCallSelect, ETapi)           \
    X(ETapiInvalCallState, ETapi)            \
    X(ETapiInvalCallStatelist, ETapi)        \
    X(ETapiInvalCard, ETapi)                 \
    X(ETapiInvalCompletionID, ETapi)         \
    X(ETapiInvalConfCallHandle, ETapi)       \
    X(ETapiInvalConsultCallHandle, ETapi)    \
    X(ETapiInvalCountryCode, ETapi)          \
    X(ETapiInvalDeviceClass, ETapi)          \
    X(ETapiInvalDeviceHandle, ETapi)         \
    X(ETapiInvalDialParams, ETapi)           \
    X(ETapiInvalDigitList, ETapi)            \
    X(ETapiInvalDigitMode, ETapi)            \
    X(ETapiInvalDigits, ETapi)               \
    X(ETapiInvalExtVersion, ETapi)           \
    X(ETapiInvalGroupID, ETapi)              \
    X(ETapiInvalLineHandle, ETapi)           \
    X(ETapiInvalLineState, ETapi)            \
    X(ETapiInvalLocation, ETapi)             \
    X(ETapiInvalMediaList, ETapi)            \
    X(ETapiInvalMediaMode, ETapi)            \
    X(ETapiInvalMessageID, ETapi)            \
    X(ETapiInvalParam, ETapi)                \
    X(ETapiInvalParkID, ETapi)               \
    X(ETapiInvalParkMode, ETapi)             \
    X(ETapiInvalPointer, ETapi)              \
    X(ETapiInvalPrivSelect, ETapi)           \
    X(ETapiInvalRate, ETapi)                 \
    X(ETapiInvalRequestMode, ETapi)          \
    X(ETapiInvalTerminalID, ETapi)           \
    X(ETapiInvalTerminalMode, ETapi)         \
    X(ETapiInvalTimeout, ETapi)              \
    X(ETapiInvalTone, ETapi)                 \
    X(ETapiInvalToneList, ETapi)             \
    X(ETapiInvalToneMode, ETapi)             \
    X(ETapiInvalTransferMode, ETapi)         \
    X(ETapiLineMapperFailed, ETapi)          \
    X(ETapiNoConference, ETapi)              \
    X(ETapiNoDevice, ETapi)                  \
    X(ETapiNoDriver, ETapi)                  \
    X(ETapiNoMem, ETapi)                     \
    X(ETapiNoRequest, ETapi)                 \
    X(ETapiNotOwner, ETapi)                  \
    X(ETapiNotRegistered, ETapi)             \
    X(ETapiOperationFailed, ETapi)           \
    X(ETapiOperationUnavail, ETapi)          \
    X(ETapiRateUnavail, ETapi)               \
    X(ETapiResourceUnavail, ETapi)           \
    X(ETapiRequestOverrun, ETapi)            \
    X(ETapiStructureTooSmall, ETapi)         \
    X(ETapiTargetNotFound, ETapi)            \
    X(ETapiTargetSelf, ETapi)                \
    X(ETapiUninitialized, ETapi)             \
    X(ETapiUserUserInfoTooBig, ETapi)        \
    X(ETapiReinit, ETapi)                    \
    X(ETapiAddressBlocked, ETapi)            \
    X(ETapiBillingRejected, ETapi)           \
    X(ETapiInvalFeature, ETapi)              \
    X(ETapiNoMultipleInstance, ETapi)        \
    X(ETapiBusy, ETapi)                      \
    X(ETapiNotSet, ETapi)                    \
    X(ETapiNoSelect, ETapi)                  \
    X(ETapiLoadFail, ETapi)                  \
    X(ETapiGetAddrFail, ETapi)               \
    X(ETapiVoiceNotSupported, ETapi)         \
    X(ETapiWaveFail, ETapi)                  \
    X(ETapiTranslateFail, ETapi)             \
    X(ERasLoadFail, ERas)

TOPLUSMS_SERIAL_EXCEPTION_CLASSES(TOPLUSMS_SERIAL_EXCEPTION)

// Whether the code is one of the mapped codes.
bool IsMappedCode(int32_t code);
// Number of mapped codes (166).
size_t MappedCodeCount();

// Raises what CheckResult raises for a negative code (the loading rule aside): the
// mapped class, the runtime's error for -2 to -162, else "Serial exception".
[[noreturn]] void RaiseSerialError(int32_t code);

}  // namespace serial
