#include "PackageParts.h"

#include <unzip.h>
#include <zip.h>

#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

namespace demo {

namespace {

struct Part {
    std::string name;
    std::string content;
    tm_unz date;
};

std::vector<Part> ReadParts(const std::string& path) {
    unzFile archive = unzOpen64(path.c_str());
    if (archive == nullptr) throw std::runtime_error("cannot open " + path + " as a zip package");
    std::vector<Part> parts;
    std::string failure;
    for (int status = unzGoToFirstFile(archive); status == UNZ_OK && failure.empty();
         status = unzGoToNextFile(archive)) {
        unz_file_info64 info{};
        char name[512];
        if (unzGetCurrentFileInfo64(archive, &info, name, sizeof(name), nullptr, 0, nullptr, 0) !=
                UNZ_OK ||
            unzOpenCurrentFile(archive) != UNZ_OK) {
            failure = "cannot read an entry of " + path;
            break;
        }
        Part part{name, std::string(info.uncompressed_size, '\0'), info.tmu_date};
        const int read = part.content.empty()
                             ? 0
                             : unzReadCurrentFile(archive, part.content.data(),
                                                  static_cast<unsigned>(part.content.size()));
        if (unzCloseCurrentFile(archive) != UNZ_OK || read != static_cast<int>(part.content.size()))
            failure = "cannot read " + part.name + " of " + path;
        parts.push_back(std::move(part));
    }
    unzClose(archive);
    if (!failure.empty()) throw std::runtime_error(failure);
    return parts;
}

void WriteParts(const std::string& path, const std::vector<Part>& parts) {
    zipFile archive = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (archive == nullptr) throw std::runtime_error("cannot create " + path);
    bool written = true;
    for (const Part& part : parts) {
        zip_fileinfo info{};
        info.tmz_date.tm_sec = part.date.tm_sec;
        info.tmz_date.tm_min = part.date.tm_min;
        info.tmz_date.tm_hour = part.date.tm_hour;
        info.tmz_date.tm_mday = part.date.tm_mday;
        info.tmz_date.tm_mon = part.date.tm_mon;
        info.tmz_date.tm_year = part.date.tm_year;
        written = zipOpenNewFileInZip64(archive, part.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                        nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK &&
                  zipWriteInFileInZip(archive, part.content.data(),
                                      static_cast<unsigned>(part.content.size())) == ZIP_OK &&
                  zipCloseFileInZip(archive) == ZIP_OK;
        if (!written) break;
    }
    if (zipClose(archive, nullptr) != ZIP_OK || !written)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace

void EditPackageParts(
    const std::string& path,
    const std::function<void(const std::string& name, std::string& content)>& edit) {
    std::vector<Part> parts = ReadParts(path);
    for (Part& part : parts) edit(part.name, part.content);
    const std::string temporary = path + ".tmp";
    try {
        WriteParts(temporary, parts);
    } catch (...) {
        std::remove(temporary.c_str());
        throw;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot replace " + path);
    }
}

}  // namespace demo
