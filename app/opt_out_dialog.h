#pragma once
// "Ret Listesi": the numbers that asked not to be texted again, with when and why they
// were listed (a reply, by hand, an import). A number can be added by hand or removed
// (asked first), the list exported to and imported from a CSV file of numbers, and the
// words that put a reply's sender on it edited.

#include <QAbstractTableModel>
#include <QDialog>
#include <QStringList>

#include <functional>
#include <vector>

#include "store/optout_list.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace app {

class Asker;

// "Numara", "Eklenme", "Neden", in the order of the numbers.
class OptOutModel : public QAbstractTableModel {
public:
    explicit OptOutModel(store::OptOutList& list, QObject* parent = nullptr);

    // Reads the list again; throws StoreError.
    void refresh();
    const store::OptOutEntry* entry(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    store::OptOutList& m_list;
    std::vector<store::OptOutEntry> m_entries;
};

class OptOutDialog : public QDialog {
public:
    OptOutDialog(store::OptOutList& list, Asker& asker, QWidget* parent);

    // The list changed elsewhere (a reply, the inbox): read it again.
    void refresh();
    // "Ekle": the number typed in numberEdit.
    void addTyped();
    // "Seçili Numarayı Sil": asks first.
    void removeChosen();
    void importCsv();
    void exportCsv();
    // "Kaydet" beside the keywords.
    void saveKeywords();
    // Shows the keywords as the settings hold them.
    void setKeywords(const QStringList& keywords);

    // Files for the import and the export (empty: cancelled). Null: file dialogs.
    std::function<QString(QWidget* parent)> chooseImportFile;
    std::function<QString(QWidget* parent, const QString& suggested)> chooseExportFile;
    // The keywords as the user saved them (never empty: an empty field gives the defaults).
    std::function<void(const QStringList& keywords)> keywordsSaved;

    OptOutModel& model() { return m_model; }
    QTableView* table = nullptr;
    QLabel* countLabel = nullptr;
    QLineEdit* numberEdit = nullptr;
    QPushButton* addButton = nullptr;     // "Ekle"
    QPushButton* removeButton = nullptr;  // "Seçili Numarayı Sil"
    QPushButton* importButton = nullptr;  // "CSV'den Al"
    QPushButton* exportButton = nullptr;  // "CSV olarak kaydet"
    QLineEdit* keywordsEdit = nullptr;
    QPushButton* keywordsButton = nullptr;  // "Kaydet"
    QPushButton* closeButton = nullptr;     // "Kapat"

private:
    void tell(const QString& text, bool error);
    void showCount();

    store::OptOutList& m_list;
    Asker& m_asker;
    OptOutModel m_model;
};

}  // namespace app
