#include "sms/send_texts.h"

#include <string_view>

#include "platform/codepage_1254.h"

namespace sms::texts {
namespace {

struct CodeText {
    int code;
    const char* text;  // UTF-8
};

// 3GPP TS 27.005 3.2.5: the SMS service's own codes, the RP causes of TS 24.011 below
// 128 and the TP-FCS values of TS 23.040 from 128.
constexpr CodeText kCmsCodes[] = {
    {1, "Numara kayıtlı değil"},
    {8, "Operatör engeli"},
    {10, "Arama engellendi"},
    {21, "Kısa mesaj aktarımı reddedildi"},
    {27, "Alıcı hizmet dışı"},
    {28, "Tanımlanamayan abone"},
    {29, "Hizmet reddedildi"},
    {30, "Bilinmeyen abone"},
    {38, "Şebeke çalışmıyor"},
    {41, "Geçici arıza"},
    {42, "Şebeke yoğun"},
    {47, "Kaynak yok"},
    {50, "Hizmete abone olunmamış"},
    {69, "Hizmet sağlanmıyor"},
    {81, "Geçersiz kısa mesaj aktarım numarası"},
    {95, "Anlamca hatalı mesaj"},
    {96, "Zorunlu bilgi geçersiz"},
    {97, "Mesaj türü yok ya da desteklenmiyor"},
    {98, "Mesaj, protokolün durumuna uymuyor"},
    {99, "Bilgi öğesi yok ya da desteklenmiyor"},
    {111, "Protokol hatası"},
    {127, "Ağlar arası hata"},
    {192, "SMS merkezi meşgul"},
    {193, "SMS merkezi aboneliği yok"},
    {194, "SMS merkezi sistem arızası"},
    {195, "Geçersiz alıcı adresi"},
    {196, "Alıcı engelli"},
    {197, "Mesaj reddedildi (yinelenen mesaj)"},
    {198, "Geçerlilik süresi biçimi desteklenmiyor"},
    {199, "Geçerlilik süresi desteklenmiyor"},
    {208, "SIM SMS belleği dolu"},
    {211, "Bellek kapasitesi aşıldı"},
    {255, "Belirtilmemiş hata"},
    {300, "Telefon arızası"},
    {301, "Telefonun SMS hizmeti ayrılmış"},
    {302, "İşleme izin verilmiyor"},
    {303, "İşlem desteklenmiyor"},
    {304, "Geçersiz PDU kipi parametresi"},
    {305, "Geçersiz metin kipi parametresi"},
    {310, "SIM kart takılı değil"},
    {311, "SIM PIN gerekli"},
    {312, "PH-SIM PIN gerekli"},
    {313, "SIM kart arızası"},
    {314, "SIM kart meşgul"},
    {315, "SIM kart yanlış"},
    {316, "SIM PUK gerekli"},
    {317, "SIM PIN2 gerekli"},
    {318, "SIM PUK2 gerekli"},
    {320, "Bellek arızası"},
    {321, "Geçersiz bellek konumu"},
    {322, "Bellek dolu"},
    {330, "SMS merkezi adresi bilinmiyor"},
    {331, "Şebeke hizmeti yok"},
    {332, "Şebeke zaman aşımı"},
    {340, "+CNMA onayı beklenmiyordu"},
    {500, "Bilinmeyen hata"},
};

// 3GPP TS 27.007 9.2.1, the common values.
constexpr CodeText kCmeCodes[] = {
    {0, "Telefon arızası"},
    {1, "Telefona bağlantı yok"},
    {3, "İşleme izin verilmiyor"},
    {4, "İşlem desteklenmiyor"},
    {5, "PH-SIM PIN gerekli"},
    {10, "SIM kart takılı değil"},
    {11, "SIM PIN gerekli"},
    {12, "SIM PUK gerekli"},
    {13, "SIM kart arızası"},
    {14, "SIM kart meşgul"},
    {15, "SIM kart yanlış"},
    {16, "Yanlış şifre"},
    {17, "SIM PIN2 gerekli"},
    {18, "SIM PUK2 gerekli"},
    {20, "Bellek dolu"},
    {21, "Geçersiz konum"},
    {22, "Bulunamadı"},
    {23, "Bellek arızası"},
    {24, "Metin çok uzun"},
    {25, "Metinde geçersiz karakter"},
    {30, "Şebeke hizmeti yok"},
    {31, "Şebeke zaman aşımı"},
    {32, "Şebeke izin vermiyor, yalnız acil çağrı"},
    {100, "Bilinmeyen hata"},
};

std::string cp(std::string_view utf8) {
    return platform::cp1254::fromUtf8(utf8);
}

template <size_t N>
const char* lookUp(const CodeText (&table)[N], int code) {
    for (const CodeText& c : table) {
        if (c.code == code) {
            return c.text;
        }
    }
    return nullptr;
}

// TP-FCS ranges without a value of their own (TS 23.040 9.2.3.22).
const char* fcsRange(int code) {
    if (code >= 0x80 && code <= 0x8F) {
        return "Protokol tanımlayıcı hatası";
    }
    if (code >= 0x90 && code <= 0x9F) {
        return "Veri kodlama hatası";
    }
    if (code >= 0xA0 && code <= 0xAF) {
        return "Komut hatası";
    }
    return nullptr;
}

std::string trimmed(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

// A whole decimal number of at most five digits, or -1.
int parseCode(const std::string& s) {
    if (s.empty() || s.size() > 5) {
        return -1;
    }
    int n = 0;
    for (char c : s) {
        if (c < '0' || c > '9') {
            return -1;
        }
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace

std::string errorReplyText(const std::string& reply) {
    for (const std::string_view prefix : {"+CMS ERROR:", "+CME ERROR:"}) {
        const size_t at = reply.find(prefix);
        if (at == std::string::npos) {
            continue;
        }
        const size_t start = at + prefix.size();
        const size_t end = reply.find_first_of("\r\n", start);
        const std::string value = trimmed(std::string_view(reply).substr(
            start, end == std::string::npos ? std::string::npos : end - start));
        const std::string code = std::string(prefix) + " " + value;
        const int n = parseCode(value);
        if (n < 0) {
            return code;  // the phone's own words (AT+CMEE=2) or nothing usable
        }
        const bool cms = prefix[3] == 'S';
        const char* meaning = cms ? lookUp(kCmsCodes, n) : lookUp(kCmeCodes, n);
        if (meaning == nullptr && cms) {
            meaning = fcsRange(n);
        }
        return meaning == nullptr ? code : cp(meaning) + " (" + code + ")";
    }
    if (reply.find("\r\nERROR") != std::string::npos || reply.starts_with("ERROR")) {
        return cp("Telefon hata bildirdi (ERROR)");
    }
    return {};
}

int cmsErrorCode(const std::string& reply) {
    constexpr std::string_view kPrefix = "+CMS ERROR:";
    const size_t at = reply.find(kPrefix);
    if (at == std::string::npos) {
        return -1;
    }
    const size_t start = at + kPrefix.size();
    const size_t end = reply.find_first_of("\r\n", start);
    return parseCode(trimmed(std::string_view(reply).substr(
        start, end == std::string::npos ? std::string::npos : end - start)));
}

std::string noPrompt() {
    return cp("Telefon mesaj istemini (>) göndermedi");
}

std::string noAnswer() {
    return cp("Telefon yanıt vermedi (Zaman Aşımı)");
}

std::string lineLost() {
    return cp("Telefon bağlantısı koptu");
}

std::string notConnected() {
    return cp("Telefon bağlı değil");
}

std::string lineBusy() {
    return cp("Telefon meşgul, başka bir komut sürüyor");
}

std::string pduModeRefused() {
    return cp("Telefon PDU kipine geçmedi (AT+CMGF=0)");
}

std::string simNotReady(const std::string& state) {
    return cp("SIM kart hazır değil") + (state.empty() ? "" : " (" + state + ")");
}

std::string notRegistered() {
    return cp("Telefon şebekeye kayıtlı değil");
}

std::string emptyText() {
    return cp("Gönderilecek SMS metni boş");
}

std::string resultsFileFailed() {
    return cp("sonuç dosyasına yazılamadı");
}

std::string sentLine(const std::string& references) {
    return cp("Gönderildi: ref ") + references;
}

std::string failedLine(const std::string& reason) {
    return cp("Gönderilemedi: ") + reason;
}

std::string unknownLine(const std::string& reason) {
    return cp("Belirsiz: ") + reason;
}

std::string partsSent(int sent, int total) {
    return std::to_string(sent) + "/" + std::to_string(total) + cp(" parça");
}

std::string summary(int sent, int failed, int notSent) {
    std::string s =
        std::to_string(sent) + cp(" gönderildi, ") + std::to_string(failed) + cp(" başarısız");
    if (notSent > 0) {
        s += ", " + std::to_string(notSent) + cp(" gönderilmedi");
    }
    return s;
}

std::string outcomeSent() {
    return cp("gönderildi");
}

std::string outcomeFailed() {
    return cp("başarısız");
}

std::string outcomeNotSent() {
    return cp("gönderilmedi");
}

std::string outcomeUnknown() {
    return cp("belirsiz");
}

std::string outcomeSkipped() {
    return cp("atlandı");
}

std::string unknownCount(int unknown) {
    return unknown > 0 ? ", " + std::to_string(unknown) + cp(" belirsiz") : std::string();
}

std::string skippedCount(int skipped) {
    return skipped > 0 ? ", " + std::to_string(skipped) + cp(" atlandı") : std::string();
}

std::string recordFailed(const std::string& reason) {
    return cp("Gönderim kaydedilemedi, durduruldu: ") + reason;
}

std::string dailyLimitReached() {
    return cp("Günlük sınıra ulaşıldı");
}

}  // namespace sms::texts
