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
        auto put = [&](int32_t code, Raiser r) { m.emplace(code, r); };
        put(-1002, raise<EBadArgument>);
        put(-1003, raise<EGotQuitMsg>);
        put(-1004, raise<EBufferTooBig>);
        put(-1005, raise<EPortNotAssigned>);
        put(-1006, raise<EInternal>);
        put(-1007, raise<EModemNotAssigned>);
        put(-1008, raise<EPhonebookNotAssigned>);
        put(-1009, raise<ECannotUseWithWinSock>);
        put(-2001, raise<EBadId>);
        put(-2002, raise<EBaudRate>);
        put(-2003, raise<EByteSize>);
        put(-2004, raise<EDefault>);
        put(-2005, raise<EHardware>);
        put(-2006, raise<EMemory>);
        put(-2007, raise<ECommNotOpen>);
        put(-2008, raise<EAlreadyOpen>);
        put(-2009, raise<ENoHandles>);
        put(-2010, raise<ENoTimers>);
        put(-2011, raise<ENoPortSelected>);
        put(-2012, raise<ENotOpenedByTapi>);
        put(-3001, raise<ENullApi>);
        put(-3003, raise<ERegisterHandlerFailed>);
        put(-3004, raise<EPutBlockFail>);
        put(-3005, raise<EGetBlockFail>);
        put(-3006, raise<EOutputBufferTooSmall>);
        put(-3007, raise<EBufferIsEmpty>);
        put(-3008, raise<ETracingNotEnabled>);
        put(-3009, raise<ELoggingNotEnabled>);
        put(-3010, raise<EBaseAddressNotSet>);
        put(-5001, raise<ENoMoreTriggers>);
        put(-5002, raise<ETriggerTooLong>);
        put(-5003, raise<EBadTriggerHandle>);
        put(-4001, raise<EModemNotStarted>);
        put(-4002, raise<EModemBusy>);
        put(-4003, raise<EModemNotDialing>);
        put(-4004, raise<ENotDialing>);
        put(-4005, raise<EAlreadyDialing>);
        put(-4006, raise<EModemNotResponding>);
        put(-4007, raise<EModemRejectedCommand>);
        put(-4008, raise<EModemStatusMismatch>);
        put(-6006, raise<EProtocol>);
        put(-6008, raise<EProtocol>);
        put(-6009, raise<EProtocol>);
        put(-7001, raise<EKeyTooLong>);
        put(-7002, raise<EDataTooLarge>);
        put(-7003, raise<EInternal>);
        put(-7004, raise<EIniWrite>);
        put(-7005, raise<EIniRead>);
        put(-7006, raise<EInternal>);
        put(-7007, raise<ERecordExists>);
        put(-7008, raise<ERecordNotFound>);
        put(-7010, raise<EDatabaseFull>);
        put(-7011, raise<EDatabaseEmpty>);
        put(-7012, raise<EInternal>);
        put(-7013, raise<EBadFieldList>);
        put(-7014, raise<EBadFieldForIndex>);
        put(-8001, raise<EFaxBadFormat>);
        put(-8002, raise<EBadGraphicsFormat>);
        put(-8003, raise<EConvertAbort>);
        put(-8004, raise<EUnpackAbort>);
        put(-8005, raise<ECantMakeBitmap>);
        put(-8053, raise<EInvalidPageNumber>);
        put(-8060, raise<EFaxBadMachine>);
        put(-8061, raise<EFaxBadModemResult>);
        put(-8062, raise<EFaxTrainError>);
        put(-8063, raise<EFaxInitError>);
        put(-8064, raise<EFaxBusy>);
        put(-8065, raise<EFaxVoiceCall>);
        put(-8066, raise<EFaxDataCall>);
        put(-8067, raise<EFaxNoDialTone>);
        put(-8068, raise<EFaxNoCarrier>);
        put(-8069, raise<EFaxSessionError>);
        put(-8070, raise<EFaxPageError>);
        // The telephony codes -13801 to -13886 follow the order of their classes, with
        // -13804 and -13849 unused.
        static constexpr Raiser kTapi[] = {
            raise<ETapiAllocated>,
            raise<ETapiBadDeviceID>,
            raise<ETapiBearerModeUnavail>,
            nullptr,
            raise<ETapiCallUnavail>,
            raise<ETapiCompletionOverrun>,
            raise<ETapiConferenceFull>,
            raise<ETapiDialBilling>,
            raise<ETapiDialDialtone>,
            raise<ETapiDialPrompt>,
            raise<ETapiDialQuiet>,
            raise<ETapiIncompatibleApiVersion>,
            raise<ETapiIncompatibleExtVersion>,
            raise<ETapiIniFileCorrupt>,
            raise<ETapiInUse>,
            raise<ETapiInvalAddress>,
            raise<ETapiInvalAddressID>,
            raise<ETapiInvalAddressMode>,
            raise<ETapiInvalAddressState>,
            raise<ETapiInvalAppHandle>,
            raise<ETapiInvalAppName>,
            raise<ETapiInvalBearerMode>,
            raise<ETapiInvalCallComplMode>,
            raise<ETapiInvalCallHandle>,
            raise<ETapiInvalCallParams>,
            raise<ETapiInvalCallPrivilege>,
            raise<ETapiInvalCallSelect>,
            raise<ETapiInvalCallState>,
            raise<ETapiInvalCallStatelist>,
            raise<ETapiInvalCard>,
            raise<ETapiInvalCompletionID>,
            raise<ETapiInvalConfCallHandle>,
            raise<ETapiInvalConsultCallHandle>,
            raise<ETapiInvalCountryCode>,
            raise<ETapiInvalDeviceClass>,
            raise<ETapiInvalDeviceHandle>,
            raise<ETapiInvalDialParams>,
            raise<ETapiInvalDigitList>,
            raise<ETapiInvalDigitMode>,
            raise<ETapiInvalDigits>,
            raise<ETapiInvalExtVersion>,
            raise<ETapiInvalGroupID>,
            raise<ETapiInvalLineHandle>,
            raise<ETapiInvalLineState>,
            raise<ETapiInvalLocation>,
            raise<ETapiInvalMediaList>,
            raise<ETapiInvalMediaMode>,
            raise<ETapiInvalMessageID>,
            nullptr,
            raise<ETapiInvalParam>,
            raise<ETapiInvalParkID>,
            raise<ETapiInvalParkMode>,
            raise<ETapiInvalPointer>,
            raise<ETapiInvalPrivSelect>,
            raise<ETapiInvalRate>,
            raise<ETapiInvalRequestMode>,
            raise<ETapiInvalTerminalID>,
            raise<ETapiInvalTerminalMode>,
            raise<ETapiInvalTimeout>,
            raise<ETapiInvalTone>,
            raise<ETapiInvalToneList>,
            raise<ETapiInvalToneMode>,
            raise<ETapiInvalTransferMode>,
            raise<ETapiLineMapperFailed>,
            raise<ETapiNoConference>,
            raise<ETapiNoDevice>,
            raise<ETapiNoDriver>,
            raise<ETapiNoMem>,
            raise<ETapiNoRequest>,
            raise<ETapiNotOwner>,
            raise<ETapiNotRegistered>,
            raise<ETapiOperationFailed>,
            raise<ETapiOperationUnavail>,
            raise<ETapiRateUnavail>,
            raise<ETapiResourceUnavail>,
            raise<ETapiRequestOverrun>,
            raise<ETapiStructureTooSmall>,
            raise<ETapiTargetNotFound>,
            raise<ETapiTargetSelf>,
            raise<ETapiUninitialized>,
            raise<ETapiUserUserInfoTooBig>,
            raise<ETapiReinit>,
            raise<ETapiAddressBlocked>,
            raise<ETapiBillingRejected>,
            raise<ETapiInvalFeature>,
            raise<ETapiNoMultipleInstance>,
        };
        static_assert(std::size(kTapi) == 86);
        for (size_t i = 0; i < std::size(kTapi); ++i) {
            if (kTapi[i]) {
                put(-13801 - int32_t(i), kTapi[i]);
            }
        }
        put(-13928, raise<ETapiBusy>);
        put(-13929, raise<ETapiNotSet>);
        put(-13930, raise<ETapiNoSelect>);
        put(-13931, raise<ETapiLoadFail>);
        put(-13932, raise<ETapiGetAddrFail>);
        put(-13935, raise<ETapiVoiceNotSupported>);
        put(-13936, raise<ETapiWaveFail>);
        put(-13942, raise<ETapiTranslateFail>);
        put(-13980, raise<ERasLoadFail>);
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
