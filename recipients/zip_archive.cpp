#include "recipients/zip_archive.h"

#include <zip.h>

namespace recipients {

namespace {

[[noreturn]] void damaged() {
    throw WorkbookError("Dosya bozuk ya da bir çalışma kitabı değil.");
}

}  // namespace

ZipArchive::ZipArchive(std::string_view bytes) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source) {
        zip_error_fini(&error);
        damaged();
    }
    m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!m_zip) {
        zip_source_free(source);
        damaged();
    }
}

ZipArchive::~ZipArchive() {
    zip_discard(m_zip);
}

bool ZipArchive::has(const std::string& name) const {
    return zip_name_locate(m_zip, name.c_str(), 0) >= 0;
}

void ZipArchive::stream(const std::string& name, const ReadControl& control,
                        const std::function<bool(std::string_view chunk)>& sink) const {
    const zip_int64_t index = zip_name_locate(m_zip, name.c_str(), 0);
    if (index < 0) {
        damaged();
    }
    zip_file_t* file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        damaged();
    }
    struct Closer {
        zip_file_t* file;
        ~Closer() {
            if (file) {
                zip_fclose(file);
            }
        }
    } closer{file};
    std::size_t total = 0;
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            damaged();
        }
        if (n == 0) {
            break;
        }
        if (static_cast<std::size_t>(n) > kMaxPartBytes - total) {
            throw WorkbookError("Dosya açıldığında çok büyüyor (bir bölümü en çok " +
                                std::to_string(kMaxPartBytes / (1024 * 1024)) +
                                " MB olabilir); okunmadı.");
        }
        total += static_cast<std::size_t>(n);
        if ((total & 0xFFFFF) < sizeof buffer) {
            control.check();
        }
        if (!sink(std::string_view(buffer, static_cast<std::size_t>(n)))) {
            return;  // the sink has what it needs; the rest is not checked
        }
    }
    // A part whose data fails its checksum reports it on close.
    closer.file = nullptr;
    if (zip_fclose(file) != 0) {
        damaged();
    }
}

}  // namespace recipients
