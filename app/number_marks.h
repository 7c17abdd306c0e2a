#pragma once
// Marks the entries of the bulk tab's list that are no mobile numbers, so the list can be
// cleaned before a run: an invalid number in red with a warning sign, a fixed line, 0800
// or 0850 number in brown with a sign, each with a tooltip naming why. The kind is found
// when a row is painted, so a list of 100,000 entries costs only the rows on screen.

#include <QColor>
#include <QString>
#include <QStyledItemDelegate>

#include <optional>

namespace app {

struct NumberMark {
    QColor colour;
    QString toolTip;
    bool invalid = false;  // no number at all, rather than one that is not mobile
};

// The mark of an entry; none for a mobile number.
std::optional<NumberMark> numberMark(const QString& entry);

class NumberMarkDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
    // Every row has room for a sign, so the list's layout, which asks every row, needs
    // no row's kind.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace app
