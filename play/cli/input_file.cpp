#include "play/cli/input_file.h"

#include "play/readers/midi_reader.h"
#include "platform/standard_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

constexpr std::size_t ReadChunkBytes = 65536;

// What PeekInputFile took from standard input, for ReadInputFile to give back first.
std::string TakenFromStandardInput;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool ReadInputFile(const std::string& path, std::string* bytes, std::string* error)
{
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : path;
    std::unique_ptr<std::FILE, FileCloser> owned;
    std::FILE* in = stdin;
    if (!standardInput) {
        std::error_code code;
        if (std::filesystem::is_directory(path, code)) {
            *error = name + " is a directory, not a file";
            return false;
        }
        errno = 0;
        owned.reset(std::fopen(path.c_str(), "rb"));
        if (!owned) {
            *error = "cannot open " + name + ": " + std::strerror(errno != 0 ? errno : ENOENT);
            return false;
        }
        in = owned.get();
    }
    bytes->clear();
    if (standardInput) {
        ReadStandardInputAsBytes();
        bytes->swap(TakenFromStandardInput);
    }
    char chunk[ReadChunkBytes];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, in);
        bytes->append(chunk, got);
        if (bytes->size() > midi_file::MaxFileBytes) {
            *error = name + " is larger than " + std::to_string(midi_file::MaxFileBytes) + " bytes";
            return false;
        }
        if (got < sizeof chunk) break;
    }
    if (std::ferror(in)) {
        *error = "cannot read " + name + ": " + std::strerror(errno != 0 ? errno : EIO);
        return false;
    }
    if (bytes->empty()) {
        *error = name + " is empty";
        return false;
    }
    return true;
}

bool PeekInputFile(const std::string& path, std::size_t count, std::string* first)
{
    if (path == "-") {
        ReadStandardInputAsBytes();
        if (TakenFromStandardInput.size() < count) {
            std::string more(count - TakenFromStandardInput.size(), '\0');
            more.resize(std::fread(&more[0], 1, more.size(), stdin));
            TakenFromStandardInput += more;
        }
        *first = TakenFromStandardInput.substr(0, count);
        return !std::ferror(stdin);
    }
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) return false;
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(path.c_str(), "rb"));
    if (!in) return false;
    first->assign(count, '\0');
    first->resize(std::fread(&(*first)[0], 1, count, in.get()));
    return !std::ferror(in.get());
}
