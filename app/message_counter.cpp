#include "app/message_counter.h"

#include "app/main_window.h"

namespace app {

QString codingCaption(const sms::MessageLayout& layout) {
    switch (layout.Coding) {
        case sms::SmsCoding::Data8:
            return QStringLiteral("8 bit");
        case sms::SmsCoding::Gsm7:
            return layout.Shift == sms::ShiftTables::None ? QStringLiteral("7 bit")
                                                          : QStringLiteral("7 bit, Türkçe");
        default:
            return QStringLiteral("UCS-2");
    }
}

QString counterText(const QString& text, bool turkishSevenBit) {
    QString counter = QStringLiteral("Toplam Karekter: ") + QString::number(codePageLength(text));
    if (text.isEmpty()) {
        return counter;
    }
    sms::EncodeOptions options;
    options.TurkishTables = turkishSevenBit;
    const sms::MessageLayout layout =
        sms::PlanMessage(text.toStdU16String(), sms::SmsCoding::Auto, options);
    return counter + QStringLiteral(" · %1 SMS (%2)").arg(layout.Parts).arg(codingCaption(layout));
}

}  // namespace app
