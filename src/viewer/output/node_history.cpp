#include "viewer/output/node_history.h"

#include "viewer/model/number_text.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/output_error.h"

#include <charconv>

namespace orv {

namespace {

void pad_left(std::string& out, std::string_view field, std::size_t width) {
    if (field.size() < width) out.append(width - field.size(), ' ');
    out += field;
}

} // namespace

std::string utf8_to_latin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else { // stray continuation byte or invalid lead byte
            out += '?';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (; j < utf8.size() && j <= i + extra; ++j) {
            const auto cc = static_cast<unsigned char>(utf8[j]);
            if ((cc & 0xC0) != 0x80) break;
            cp = (cp << 6) | (cc & 0x3F);
        }
        const bool complete = j == i + 1 + extra;
        // Overlong two-byte forms of ASCII (C0, C1 leads) are malformed too.
        out += complete && cp >= 0x80 && cp <= 0xFF ? static_cast<char>(cp) : '?';
        i = j;
    }
    return out;
}

std::string format_history_line(int list, double value) {
    std::string line;
    char buf[400]; // the widest double in fixed notation with 10 decimals has 321 characters
    auto r = std::to_chars(buf, buf + sizeof buf, list);
    pad_left(line, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), 10);
    line += "  ";
    // + 0.0 turns -0.0 into 0.0, so an exact zero never prints as "-0.0000000000".
    r = std::to_chars(buf, buf + sizeof buf, value + 0.0, std::chars_format::fixed, 10);
    pad_left(line, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), 20);
    line += "\r\n";
    return line;
}

std::string format_node_history(std::string_view node_text, const NodeHistory& history) {
    std::string out = "N\xF3: ";
    out += utf8_to_latin1(node_text);
    out += "\r\n\r\nLista      Valor\r\n";
    for (std::size_t i = 0; i < history.lists.size() && i < history.values.size(); ++i)
        out += format_history_line(history.lists[i], history.values[i]);
    return out;
}

NodeHistory read_node_history(const ResultModel& model, std::string_view node_text,
                              const std::vector<int>& lists) {
    NodeHistory h;
    int label = 0;
    try {
        label = parse_integer_text(node_text);
    } catch (const InvalidInteger& e) {
        throw OutputError(e.what());
    }
    // The text is the node's number as the user sees it, its label; 0 is row
    // 0 unless a node carries that number.
    h.node = model.node_with_label(label);
    if (h.node == 0 && label != 0) {
        if (model.node_labels.empty())
            throw OutputError("Node " + std::to_string(label) +
                              " does not exist: the node number must be from 0 to " +
                              std::to_string(model.nnode) + ".");
        throw OutputError("Node " + std::to_string(label) +
                          " does not exist: no node of the model has that number.");
    }
    check_lists(lists, model.nlista);
    h.lists = lists;
    h.values.reserve(lists.size());
    for (const int k : lists)
        h.values.push_back(model.listas(static_cast<std::size_t>(h.node), static_cast<std::size_t>(k)));
    return h;
}

NodeHistory write_node_history(const std::string& path, const ResultModel& model, std::string_view node_text,
                               const std::vector<int>& lists) {
    NodeHistory h = read_node_history(model, node_text, lists);
    write_file_atomically(path, format_node_history(node_text, h));
    return h;
}

} // namespace orv
