// libFuzzer target: any bytes given to the VTK XML reader must give imported
// data that build_model accepts or refuses with a ReadError, never a crash, a
// hang, undefined behaviour or an allocation the input cannot justify.
//
// Partitioned files and collections name other files, so an input that is
// one is also read from a scratch folder where it is saved as self.pvtu,
// self.pvd and other.pvtu, beside a valid piece.vtu: seeds that name those
// files (themselves, each other, the piece) reach the nesting rules.
#include "viewer/formats/importer.h"
#include "viewer/formats/vtk_xml_reader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

void check(const orv::ReadResult& r) {
    for (std::int32_t e = 1; e <= r.model.nelem; ++e)
        for (std::int32_t node : r.model.conec(e).subspan(1))
            if (node < 1 || node > r.model.nnode) __builtin_trap();
}

const std::string& scratch_dir() {
    static const std::string dir = [] {
        char name[] = "/tmp/orvanel-xml-fuzz-XXXXXX";
        if (!::mkdtemp(name)) std::abort();
        const std::string d(name);
        std::ofstream(d + "/piece.vtu")
            << "<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\" version=\"1.0\">\n"
               "<UnstructuredGrid>\n<Piece NumberOfPoints=\"3\" NumberOfCells=\"1\">\n<PointData>\n"
               "<DataArray type=\"Float64\" Name=\"T\" format=\"ascii\">1 nan 3</DataArray>\n</PointData>\n"
               "<Points><DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">"
               "0 0 0 1 0 0 0 1 0</DataArray></Points>\n<Cells>\n"
               "<DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2</DataArray>\n"
               "<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">3</DataArray>\n"
               "<DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">5</DataArray>\n"
               "</Cells>\n</Piece>\n</UnstructuredGrid>\n</VTKFile>\n";
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orv::ReaderOptions options;
    options.memory_limit = 64u << 20; // keep huge announced sizes cheap to refuse
    const char* bytes = reinterpret_cast<const char*>(data);
    try {
        orv::ImportData d = orv::import_bytes(orv::import_vtk_xml, bytes, size, "fuzz.vtu", options);
        check(orv::build_model(std::move(d), "fuzz.vtu"));
    } catch (const orv::ReadError&) {
    }
    const std::string type = orv::vtk_xml_type(std::string_view(bytes, size < 512 ? size : 512));
    if (type != "PUnstructuredGrid" && type != "Collection") return 0;
    const std::string dir = scratch_dir();
    for (const char* name : {"/self.pvtu", "/self.pvd", "/other.pvtu"})
        std::ofstream(dir + name, std::ios::binary | std::ios::trunc)
            .write(bytes, static_cast<std::streamsize>(size));
    try {
        check(orv::read_file(orv::import_vtk_xml, dir + (type == "Collection" ? "/self.pvd" : "/self.pvtu"),
                             options));
    } catch (const orv::ReadError&) {
    }
    return 0;
}
