#include "results/results.h"

namespace results {

const Row* find(std::string_view name) {
    for (const Row& row : kRows) {
        if (name == row.name)
            return &row;
    }
    return nullptr;
}

std::string boxText(const Row& row) {
    std::string text = row.firstLine;
    if (*row.secondLine != '\0')
        text += std::string("\r\n") + row.secondLine;
    return text;
}

std::string boxText(std::string_view name) {
    const Row* row = find(name);
    return row ? boxText(*row) : std::string();
}

bool worthRetry(std::string_view name) {
    const Row* row = find(name);
    return row && row->nature == Nature::Retry;
}

}  // namespace results
