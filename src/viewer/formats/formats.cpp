#include "viewer/formats/formats.h"
#include "viewer/formats/native_reader.h"

#include "viewer/formats/calculix_reader.h"
#include "viewer/formats/exodus_reader.h"
#include "viewer/formats/gmsh_reader.h"
#include "viewer/formats/importer.h"
#include "viewer/formats/reader.h"
#include "viewer/formats/vtk_legacy_reader.h"
#include "viewer/formats/vtk_xml_reader.h"
#include "viewer/formats/xdmf_reader.h"
#include "viewer/model/name_text.h"

#include <array>
#include <cctype>

namespace orv {
namespace {

bool looks_like_vtk(std::string_view b) {
    return looks_like_vtk_legacy(b.data(), b.size());
}
bool looks_like_msh(std::string_view b) {
    return sniff_msh(b.data(), b.size());
}
bool looks_like_frd(std::string_view b) {
    return sniff_frd(b.data(), b.size());
}

constexpr std::array kFormats{
    Format{"native result file", ".txt", looks_like_native, read_native, "application/x-orvanel-results"},
    Format{"VTK legacy", ".vtk", looks_like_vtk, read_imported<&import_vtk_legacy>, "application/x-vtk"},
    Format{"VTK XML", ".vtu .vtp", looks_like_vtu, read_imported<&import_vtk_xml>,
           "application/x-vtk-unstructured-grid application/x-vtk-polydata"},
    Format{"VTK XML collection", ".pvd", looks_like_pvd, read_imported<&import_vtk_xml>,
           "application/x-vtk-collection"},
    Format{"VTK XML partitioned grid", ".pvtu", looks_like_pvtu, read_imported<&import_vtk_xml>,
           "application/x-vtk-parallel-unstructured-grid"},
    Format{"Gmsh", ".msh", looks_like_msh, read_imported<&import_msh>, "application/x-gmsh-mesh"},
    Format{"CalculiX", ".frd", looks_like_frd, read_imported<&import_frd>, "application/x-calculix-frd"},
    Format{"Exodus II", ".e .exo .ex2 .g", looks_like_exodus, read_imported<&import_exodus>,
           "application/x-exodus-ii application/x-exodus-ii application/x-exodus-ii application/x-exodus-ii"},
    Format{"XDMF", ".xdmf .xmf", looks_like_xdmf, read_imported<&import_xdmf>,
           "application/x-xdmf application/x-xdmf"},
};

std::string lower_extension(const std::string& name) {
    const std::string base = input::base_name(name);
    const auto dot = base.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string ext = base.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool lists_extension(const char* extensions, const std::string& ext) {
    const std::string_view all(extensions);
    for (std::size_t pos = 0; pos < all.size();) {
        std::size_t end = all.find(' ', pos);
        if (end == std::string_view::npos) end = all.size();
        if (all.substr(pos, end - pos) == ext) return true;
        pos = end + 1;
    }
    return false;
}

} // namespace

std::span<const Format> formats() {
    return kFormats;
}

const Format* format_for(std::string_view first_bytes, const std::string& name) {
    const std::string_view sniffed = first_bytes.substr(0, kSniffBytes);
    // The other formats' signatures are strong ("$MeshFormat", "<VTKFile",
    // "    1C", "# vtk DataFile"); the native sniff, a marker line and a
    // number, also matches their comments, so it comes last.
    for (const Format& f : std::span<const Format>(kFormats).subspan(1))
        if (f.looks_like(sniffed)) return &f;
    if (kFormats[0].looks_like(sniffed)) return &kFormats[0];
    const std::string ext = lower_extension(name);
    if (!ext.empty())
        for (const Format& f : kFormats)
            if (lists_extension(f.extensions, ext)) return &f;
    return nullptr;
}

std::string unknown_format_message(const std::string& name) {
    std::string known;
    for (const Format& f : kFormats) {
        if (!known.empty()) known += "; ";
        known += std::string(f.name) + " (" + f.extensions + ")";
    }
    return input::cannot_open_message(
        input::base_name(name),
        "nem o conte\u00FAdo nem a extens\u00E3o correspondem a um formato que o Orvanel l\u00EA: " + known);
}

namespace {

// Runs read(options) with the reading threads resolved once for the whole
// read; an ORVANEL_THREADS that holds no number is said first.
template <class Read> ReadResult with_threads(const ReaderOptions& options, Read read) {
    ReaderOptions resolved = options;
    ThreadSetting t = options.resolved_threads();
    resolved.threads = t.threads;
    ReadResult r = read(resolved);
    if (!t.warning.empty()) r.warnings.insert(r.warnings.begin(), std::move(t.warning));
    return r;
}

// Every message of a read leaves through here: the control bytes of the file
// names, list names and quoted file text in it are escaped once, for every
// reader, so that no message can drive a terminal or break its line.
template <class Read> ReadResult with_shown_messages(Read read) {
    try {
        ReadResult result = read();
        for (std::string& w : result.warnings)
            w = escape_control_bytes(w);
        return result;
    } catch (const ReadCancelled& e) {
        throw ReadCancelled(escape_control_bytes(e.what()));
    } catch (const ReadError& e) {
        throw ReadError(escape_control_bytes(e.what()));
    }
}

} // namespace

ReadResult read_result(const std::string& path, const ReaderOptions& options) {
    return with_shown_messages([&] {
        input::Input in(path); // refuses what is not a regular file
        const Format* format = format_for(in.first_bytes(kSniffBytes), path);
        if (!format) throw ReadError(unknown_format_message(path));
        ReadResult result =
            with_threads(options, [&](const ReaderOptions& o) { return format->read(in, o); });
        result.native = format == &kFormats.front();
        return result;
    });
}

ReadResult read_result_bytes(const char* data, std::size_t size, const std::string& name,
                             const ReaderOptions& options) {
    return with_shown_messages([&] {
        const Format* format = format_for(std::string_view(data, size), name);
        if (!format) throw ReadError(unknown_format_message(name));
        input::Input in(data, size, name);
        ReadResult result =
            with_threads(options, [&](const ReaderOptions& o) { return format->read(in, o); });
        result.native = format == &kFormats.front();
        return result;
    });
}

ResultModel read_result_file(const std::string& path, const ReaderOptions& options) {
    return read_result(path, options).model;
}

ResultModel read_result_buffer(const char* data, std::size_t size, const std::string& name,
                               const ReaderOptions& options) {
    return read_result_bytes(data, size, name, options).model;
}

} // namespace orv
