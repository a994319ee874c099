#include "results/results.h"

namespace results {

const Row* find(std::string_view name) {
    for (const Row& row : kRows) {
        if (name == row.name)
            return &row;
    }
    return nullptr;
}

std::string boxText(const Row& row, std::string_view fileName) {
    std::string text = row.firstLine;
    if (*row.secondLine != '\0')
        text += std::string("\r\n") + row.secondLine;
    constexpr std::string_view kFile = "{file}";
    for (std::size_t at = text.find(kFile); at != std::string::npos;
         at = text.find(kFile, at + fileName.size()))
        text.replace(at, kFile.size(), fileName);
    return text;
}

std::string boxText(std::string_view name, std::string_view fileName) {
    const Row* row = find(name);
    return row ? boxText(*row, fileName) : std::string();
}

bool worthRetry(std::string_view name) {
    const Row* row = find(name);
    return row && row->nature == Nature::Retry;
}

}  // namespace results
