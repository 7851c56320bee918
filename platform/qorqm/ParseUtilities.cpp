#include "qorqm/ParseUtilities.h"

#include "com/regularfile.h"

#include "qorqm/PathUtilities.h"

#include <fstream>
#include <utility>

namespace ParseUtilities {

void Tokenize(const std::string& line, std::vector<std::string>& tokens,
              const std::string& delimiters) {
    tokens.clear();
    if (delimiters.empty()) {
        if (!line.empty()) {
            tokens.push_back(line);
        }
        return;
    }
    // Room for a usual line's words at once, not by repeated growing.
    if (tokens.capacity() < 16) {
        tokens.reserve(16);
    }
    std::size_t start = line.find_first_not_of(delimiters);
    while (start != std::string::npos) {
        const std::size_t stop = line.find_first_of(delimiters, start);
        tokens.push_back(line.substr(start, stop == std::string::npos ? std::string::npos
                                                                      : stop - start));
        start = (stop == std::string::npos) ? stop : line.find_first_not_of(delimiters, stop);
    }
}

bool FindLineContainingToken(std::istream& stream, const std::string& token, std::string& line) {
    std::string current;
    while (std::getline(stream, current)) {
        if (current.find(token) != std::string::npos) {
            line = std::move(current);
            return true;
        }
    }
    line.clear();
    return false;
}

bool IsTokenInFile(const std::string& path, const std::string& text) {
    RegularFile::InputFile file(PathUtilities::ToNative(path));
    if (!file.IsOpen()) {
        return false;
    }
    if (text.empty()) {
        return true;
    }
    // Read in blocks, keeping the last text.size() - 1 bytes of the previous
    // block in front of the next one so that a match across a block border
    // is found; memory stays bounded whatever the size of the file.
    constexpr std::size_t kBlock = 64 * 1024;
    const std::size_t keep = text.size() - 1;
    std::string window;
    std::string block(kBlock, '\0');
    while (file) {
        file.read(&block[0], static_cast<std::streamsize>(kBlock));
        const std::streamsize got = file.gcount();
        if (got <= 0) {
            break;
        }
        window.append(block, 0, static_cast<std::size_t>(got));
        if (window.find(text) != std::string::npos) {
            return true;
        }
        if (window.size() > keep) {
            window.erase(0, window.size() - keep);
        }
    }
    return false;
}

}  // namespace ParseUtilities
