#pragma once
// For the fuzz targets of the zipped workbooks: a zip archive, built in memory, that
// holds the given parts, so that fuzzed XML reaches the parsers behind the zip reader.

#include <zip.h>

#include <string>
#include <utility>
#include <vector>

namespace recipients::fuzz {

// Parts are stored as they are, or deflated when `deflate` (a small file that unpacks
// large).
inline std::string zipOf(const std::vector<std::pair<std::string, std::string>>& parts,
                         bool deflate = false) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        if (source) {
            zip_source_free(source);
        }
        return {};
    }
    zip_source_keep(source);
    for (const auto& [name, data] : parts) {
        zip_source_t* part = zip_source_buffer(archive, data.data(), data.size(), 0);
        const zip_int64_t index =
            part ? zip_file_add(archive, name.c_str(), part, ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            zip_source_free(part);
        } else {
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                     deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, deflate ? 1 : 0);
        }
    }
    std::string bytes;
    if (zip_close(archive) == 0 && zip_source_open(source) == 0) {
        char buffer[65536];
        zip_int64_t n;
        while ((n = zip_source_read(source, buffer, sizeof buffer)) > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        zip_source_close(source);
    } else if (zip_get_error(archive)) {
        zip_discard(archive);
    }
    zip_source_free(source);
    return bytes;
}

}  // namespace recipients::fuzz
