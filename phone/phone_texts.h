#pragma once
// The texts the phone dialogue shows, as Windows-1254 bytes.

#include <string_view>

namespace phone::texts {

inline constexpr std::string_view kConnectedPrefix = "Ba\xF0l\xFD: ";        // "Bağlı: "
inline constexpr std::string_view kDisconnected = "Ba\xF0lant\xFDs\xFDz !";  // "Bağlantısız !"
inline constexpr std::string_view kConnectCaption = "Ba\xF0lan";             // "Bağlan"
inline constexpr std::string_view kDisconnectCaption =
    "Ba\xF0lant\xFDy\xFD Kes";  // "Bağlantıyı Kes"
inline constexpr std::string_view kNoPort = "Comport Yok!";
inline constexpr std::string_view kNoAnswer =
    "Telefon yan\xFDt vermiyor !";  // "Telefon yanıt vermiyor !"
// Follows the command as written, CR included.
inline constexpr std::string_view kNotSupported =
    "Telefon Taraf\xFDndan Desteklenmiyor !";  // "Telefon Tarafından Desteklenmiyor !"
inline constexpr std::string_view kTimedOut = "Zaman A\xFE\xFDm\xFD";  // "Zaman Aşımı"
// The phone offers no way of handing over delivery reports.
inline constexpr std::string_view kReportsUnreachable =
    "Teslim raporlar\xFD al\xFDnam\xFDyor";  // "Teslim raporları alınamıyor"

// Captions of the device information rows.
inline constexpr std::string_view kMaker = "\xDCretici";  // "Üretici"
inline constexpr std::string_view kModel = "Tip";
inline constexpr std::string_view kSoftware = "Yaz\xFDl\xFDm S\xFCr\xFCm\xFC";  // "Yazılım Sürümü"
inline constexpr std::string_view kImei = "IMEI";
inline constexpr std::string_view kImsi = "IMSI";
inline constexpr std::string_view kOperator = "Sa\xF0layan";        // "Sağlayan"
inline constexpr std::string_view kSimNumber = "Kart Numaras\xFD";  // "Kart Numarası"
inline constexpr std::string_view kServiceCentre = "Servis Merkezi";
inline constexpr std::string_view kModem = "Modem";

// The incoming-call display.
inline constexpr std::string_view kIncomingCall =
    "Gelen \xC7"
    "a\xF0r\xFD!";                                                          // "Gelen Çağrı!"
inline constexpr std::string_view kCallerPrefix = "Telefon Numaras\xFD: ";  // "Telefon Numarası: "

}  // namespace phone::texts
