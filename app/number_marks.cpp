#include "app/number_marks.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

#include "recipients/phone_number.h"

namespace app {

std::optional<NumberMark> numberMark(const QString& entry) {
    const recipients::NumberForm form = recipients::readNumber(entry.toStdU16String());
    if (form.kind == recipients::NumberKind::Mobile) {
        return std::nullopt;
    }
    if (form.kind == recipients::NumberKind::Invalid) {
        return NumberMark{QColor(192, 0, 0),
                          QStringLiteral("Geçersiz numara: bu kayda SMS ulaşmaz."), true};
    }
    const std::string_view name = recipients::kindName(form.kind);
    QString kind = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    if (form.kind == recipients::NumberKind::Other) {
        kind += QStringLiteral(" (0900, kişisel numara ya da türü belirsiz)");
    }
    return NumberMark{QColor(150, 80, 0), QStringLiteral("Mobil numara değil: %1.").arg(kind),
                      false};
}

namespace {

const QStyle* styleOf(const QStyleOptionViewItem& option) {
    return option.widget ? option.widget->style() : QApplication::style();
}

// Room for a sign on every row keeps the texts aligned; only marked rows show one.
void makeRoomForSign(QStyleOptionViewItem* option) {
    option->features |= QStyleOptionViewItem::HasDecoration;
    const int side = option->fontMetrics.height();
    option->decorationSize = QSize(side, side);
}

}  // namespace

QSize NumberMarkDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    QStyleOptionViewItem sized = option;
    QStyledItemDelegate::initStyleOption(&sized, index);
    makeRoomForSign(&sized);
    return styleOf(sized)->sizeFromContents(QStyle::CT_ItemViewItem, &sized, QSize(), sized.widget);
}

void NumberMarkDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    makeRoomForSign(option);
    const std::optional<NumberMark> mark = numberMark(option->text);
    if (!mark) {
        return;
    }
    option->palette.setColor(QPalette::Text, mark->colour);
    option->icon = styleOf(*option)->standardIcon(mark->invalid ? QStyle::SP_MessageBoxWarning
                                                                : QStyle::SP_MessageBoxInformation);
}

bool NumberMarkDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && index.isValid()) {
        if (const std::optional<NumberMark> mark =
                numberMark(index.data(Qt::DisplayRole).toString())) {
            QToolTip::showText(event->globalPos(), mark->toolTip, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

}  // namespace app
