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

std::string ZipArchive::read(const std::string& name, const ReadControl& control) const {
    const zip_int64_t index = zip_name_locate(m_zip, name.c_str(), 0);
    if (index < 0) {
        damaged();
    }
    zip_file_t* file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        damaged();
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
        if (n < 0) {
            zip_fclose(file);
            damaged();
        }
        if (n == 0) {
            break;
        }
        if (static_cast<std::size_t>(n) > kMaxPartBytes - data.size()) {
            zip_fclose(file);
            throw WorkbookError("Dosya açıldığında çok büyüyor (bir bölümü en çok " +
                                std::to_string(kMaxPartBytes / (1024 * 1024)) +
                                " MB olabilir); okunmadı.");
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if ((data.size() & 0xFFFFF) < sizeof buffer) {
            control.check();
        }
    }
    // A part whose data fails its checksum reports it on close.
    if (zip_fclose(file) != 0) {
        damaged();
    }
    return data;
}

}  // namespace recipients
