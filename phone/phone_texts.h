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

}  // namespace phone::texts
