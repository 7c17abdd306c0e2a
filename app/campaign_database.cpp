#include "app/campaign_database.h"

#include <QString>

#include "app/main_window.h"

namespace app {
namespace {

QString pathText(const std::filesystem::path& p) {
    return QString::fromStdString(std::filesystem::absolute(p).string());
}

}  // namespace

CampaignDatabase::CampaignDatabase(TMainForm& form, std::filesystem::path file)
    : m_form(form),
      m_file(file.empty() ? store::Database::defaultFile(form.listFile().parent_path())
                          : std::move(file)) {}

CampaignDatabase::~CampaignDatabase() = default;

store::CampaignStore* CampaignDatabase::campaigns() {
    return m_campaigns || open() ? m_campaigns.get() : nullptr;
}

bool CampaignDatabase::open() {
    const QString title = QStringLiteral("Veritabanı");
    try {
        m_db = std::make_unique<store::Database>(m_file);
        m_campaigns = std::make_unique<store::CampaignStore>(*m_db);
        return true;
    } catch (const store::OpenError& e) {
        const QString reason = QString::fromUtf8(e.what());
        if (e.kind() == store::OpenError::Kind::CannotOpen) {
            m_form.asker().tell(&m_form, title,
                                QStringLiteral("Gönderim veritabanı açılamadı: %1\n"
                                               "Toplu gönderim için bu dosya gerekir.")
                                    .arg(reason),
                                Asker::Icon::Error);
            return false;
        }
        // Never overwritten: the user decides, and the old file is kept under a new name.
        if (!m_form.asker().askYesNo(
                &m_form, title,
                QStringLiteral("Gönderim veritabanı kullanılamıyor: %1\nDosyaya dokunulmadı.\n\n"
                               "Yeni bir veritabanı başlatılsın mı? Eski dosya yanına yeni bir "
                               "adla alınır; geçmiş gönderimler onunla birlikte kalır.")
                    .arg(reason),
                Asker::Icon::Warning)) {
            return false;
        }
        try {
            const std::filesystem::path kept = store::Database::setAside(m_file);
            m_db = std::make_unique<store::Database>(m_file);
            m_campaigns = std::make_unique<store::CampaignStore>(*m_db);
            m_form.setStatusPanel(
                1, QStringLiteral("Yeni veritabanı başlatıldı; eskisi: %1").arg(pathText(kept)));
            return true;
        } catch (const store::StoreError& again) {
            m_db.reset();
            m_form.asker().tell(&m_form, title,
                                QStringLiteral("Yeni veritabanı başlatılamadı: %1")
                                    .arg(QString::fromUtf8(again.what())),
                                Asker::Icon::Error);
            return false;
        }
    } catch (const store::StoreError& e) {
        m_form.asker().tell(
            &m_form, title,
            QStringLiteral("Gönderim veritabanı açılamadı: %1").arg(QString::fromUtf8(e.what())),
            Asker::Icon::Error);
        return false;
    }
}

std::unique_ptr<store::SenderLock> CampaignDatabase::takeSenderLock() {
    if (campaigns() == nullptr) {
        return nullptr;
    }
    try {
        return m_db->takeSenderLock();
    } catch (const store::SenderBusy&) {
        m_form.asker().tell(
            &m_form, QStringLiteral("Uyarı"),
            QStringLiteral("Bu gönderim veritabanından (%1) şu anda başka bir program "
                           "gönderim yapıyor. Bir veritabanından aynı anda yalnızca bir program "
                           "gönderebilir; o gönderim bitince yeniden deneyin.")
                .arg(pathText(m_file)),
            Asker::Icon::Warning);
    } catch (const store::StoreError& e) {
        m_form.asker().tell(&m_form, QStringLiteral("Veritabanı"),
                            QStringLiteral("Gönderim veritabanı kullanılamıyor: %1")
                                .arg(QString::fromUtf8(e.what())),
                            Asker::Icon::Error);
    }
    return nullptr;
}

}  // namespace app
