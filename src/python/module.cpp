// The compiled half of the Python module `orvanel` (orvanel._orvanel): the
// reader, the model's arrays, --info, the batch picture, video and history,
// and models built from arrays. The Python half (orvanel/__init__.py) turns
// keywords into the command line's options, sends warnings through Python's
// `warnings` and talks to meshio.
//
// Arrays handed to Python point into the model's own memory, read-only, and
// keep the model object alive. Reading and drawing run without the GIL.

#include "batch/batch_render.h"
#include "batch/command_line.h"
#include "viewer/formats/formats.h"
#include "viewer/formats/import_mesh.h"
#include "viewer/formats/reader.h"
#include "viewer/model/info_report.h"
#include "viewer/model/name_text.h"
#include "viewer/model/number_text.h"
#include "viewer/output/list_sequence.h"
#include "viewer/output/node_history.h"
#include "viewer/output/output_error.h"
#include "viewer/output/output_file.h"
#include "viewer/output/output_names.h"
#include "viewer/render/bitmap_font_gl.h"
#include "viewer/render/mesh_gl.h"
#include "viewer/render/render_plan.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace orv::python {
namespace {

// A model as Python holds it. Drawing writes the common range into row 0 of
// maxlista, so drawings of one model take turns (and put the row back).
struct Model {
    ResultModel model;
    bool native = false; // the native format read it: its pictures are not framed, as in --picture
    std::mutex draw;

    // The view as --picture draws this model.
    view::ViewSettings opened(view::ViewSettings s) const {
        s.open_fitted = !native;
        return s;
    }
};

using ModelPtr = std::shared_ptr<Model>;

// The colour scale is one process-wide table: pictures of the same scale
// are drawn at the same time, one of another scale waits until they end.
class ScaleTurns {
  public:
    void enter(int scale) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return active_ == 0 || scale_ == scale; });
        scale_ = scale;
        ++active_;
    }
    void leave() {
        {
            std::lock_guard lock(mutex_);
            --active_;
        }
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int active_ = 0;
    int scale_ = 0;
};

ScaleTurns scale_turns;

// Draws with the model to itself and its scale's turn; row 0 of maxlista as
// it was afterwards.
template <class Fn> void drawing(Model& m, const view::ViewSettings& settings, Fn&& fn) {
    std::lock_guard model_lock(m.draw);
    scale_turns.enter(settings.scale);
    const std::vector<std::array<double, 2>> ranges = m.model.maxlista;
    const double valmin = m.model.valmin, valmax = m.model.valmax;
    try {
        fn();
    } catch (...) {
        m.model.maxlista = ranges;
        m.model.valmin = valmin;
        m.model.valmax = valmax;
        scale_turns.leave();
        throw;
    }
    m.model.maxlista = ranges;
    m.model.valmin = valmin;
    m.model.valmax = valmax;
    scale_turns.leave();
}

// Read-only NumPy view of `count` rows of `cols` doubles (cols 0: a vector)
// starting at `first`, rows `row_stride` doubles apart, kept alive by `owner`.
py::array shared_doubles(const double* first, std::size_t count, std::size_t cols, std::size_t row_stride,
                         py::handle owner) {
    const auto d = static_cast<py::ssize_t>(sizeof(double));
    py::array a;
    if (cols == 0)
        a = py::array(py::dtype::of<double>(), {static_cast<py::ssize_t>(count)},
                      {static_cast<py::ssize_t>(row_stride) * d}, first, owner);
    else
        a = py::array(py::dtype::of<double>(),
                      {static_cast<py::ssize_t>(count), static_cast<py::ssize_t>(cols)},
                      {static_cast<py::ssize_t>(row_stride) * d, d}, first, owner);
    a.attr("flags").attr("writeable") = false;
    return a;
}

// Read-only NumPy view of a list's block (`cols` doubles a row, 0: a
// vector), from row 1 on; the array keeps the handle, and so the block.
py::array held_doubles(const BlockHandle& block, std::size_t cols) {
    auto* kept = new BlockHandle(block);
    const py::capsule owner(kept, [](void* p) { delete static_cast<BlockHandle*>(p); });
    const std::size_t width = cols == 0 ? 1 : cols;
    return shared_doubles(kept->data() + width, kept->size() / width - 1, cols, width, owner);
}

// A read-only array of `values`, which it keeps; its flag cannot be set
// back (the memory belongs to no array).
template <class T> py::array read_only(std::vector<T> values) {
    auto* kept = new std::vector<T>(std::move(values));
    const py::capsule owner(kept, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    py::array a(py::dtype::of<T>(), {static_cast<py::ssize_t>(kept->size())}, {}, kept->data(), owner);
    a.attr("flags").attr("writeable") = false;
    return a;
}

// Reads `path` without the GIL; Ctrl+C (a signal Python has caught) cancels
// the read and raises KeyboardInterrupt.
std::pair<ModelPtr, std::vector<std::string>> read_model(const std::string& path, int threads) {
    ReaderOptions options;
    options.threads = threads;
    bool interrupted = false;
    options.progress = [&interrupted](std::uint64_t, std::uint64_t) {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) interrupted = true;
        return !interrupted;
    };
    auto m = std::make_shared<Model>();
    std::vector<std::string> warnings;
    try {
        py::gil_scoped_release nogil;
        ReadResult result = read_result(path, options);
        m->native = result.native;
        m->model = std::move(result.model);
        warnings = std::move(result.warnings);
    } catch (const ReadCancelled&) {
        if (interrupted) throw py::error_already_set();
        throw;
    }
    return {m, std::move(warnings)};
}

// The model of a Model or of a path read now (its warnings added to `warnings`).
ModelPtr model_of(const py::object& source, std::vector<std::string>& warnings) {
    if (py::isinstance<Model>(source)) return source.cast<ModelPtr>();
    auto [m, w] = read_model(source.cast<std::string>(), 0);
    warnings.insert(warnings.end(), w.begin(), w.end());
    return m;
}

// The command line of `mode_option` with `args` (options as "--name=value"
// or "--flag"), parsed by the program's own parser: the same checks and the
// same messages.
cli::CommandLine command_line(const std::string& mode_option, const std::string& mode_value,
                              const std::vector<std::string>& args) {
    std::vector<std::string> words{"orvanel", mode_option + "=" + mode_value};
    words.insert(words.end(), args.begin(), args.end());
    words.emplace_back("model"); // the result file, which is not read from here
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    return cli::parse_command_line(static_cast<int>(argv.size()), argv.data());
}

py::array image_of(const RgbPicture& p) {
    py::array_t<std::uint8_t> a(
        {static_cast<py::ssize_t>(p.height), static_cast<py::ssize_t>(p.width), static_cast<py::ssize_t>(3)});
    std::copy(p.rgb.begin(), p.rgb.end(), a.mutable_data());
    return a;
}

// picture(source, args, out): the image, or None once `out` is written.
std::pair<py::object, std::vector<std::string>> picture(const py::object& source,
                                                        const std::vector<std::string>& args,
                                                        const std::optional<std::string>& out) {
    const cli::CommandLine cl = command_line("--picture", out.value_or("picture.png"), args);
    if (out) check_replaceable(*out); // before a long read
    std::vector<std::string> warnings;
    const ModelPtr m = model_of(source, warnings);
    RgbPicture p;
    std::string png;
    {
        py::gil_scoped_release nogil;
        drawing(*m, cl.view, [&] { p = draw_picture(m->model, m->opened(cl.view)); });
        if (out) {
            png = png_of_picture(p);
            write_file_atomically(*out, png);
        }
    }
    if (out) return {py::none(), std::move(warnings)};
    return {image_of(p), std::move(warnings)};
}

std::vector<std::string> video(const py::object& source, const std::string& out,
                               const std::vector<std::string>& args) {
    const cli::CommandLine cl = command_line("--video", out, args);
    check_replaceable(out);
    std::vector<std::string> warnings;
    const ModelPtr m = model_of(source, warnings);
    const std::vector<int> lists =
        list_sequence(cl.lists.first, cl.lists.last, cl.lists.step, display_list_count(m->model.nlista));
    bool interrupted = false;
    try {
        py::gil_scoped_release nogil;
        drawing(*m, cl.view, [&] {
            write_video(m->model, m->opened(cl.view), lists, cl.fps, out, [&](std::size_t, std::size_t) {
                py::gil_scoped_acquire gil;
                if (PyErr_CheckSignals() != 0) {
                    interrupted = true;
                    throw OutputError("Stopped; no video written.");
                }
            });
        });
    } catch (const OutputError&) {
        if (interrupted) throw py::error_already_set();
        throw;
    }
    return warnings;
}

// history(source, node, args, write): the lists walked and the node's values;
// with `write`, also FILE's _T.lst in the working folder, as --history.
std::tuple<py::array, py::array, std::optional<std::string>, std::vector<std::string>>
history(const py::object& source, const std::string& node, const std::vector<std::string>& args, bool write) {
    const cli::CommandLine cl = command_line("--history", node, args);
    std::vector<std::string> warnings;
    const ModelPtr m = model_of(source, warnings);
    const std::vector<int> lists =
        list_sequence(cl.lists.first, cl.lists.last, cl.lists.step, display_list_count(m->model.nlista));
    std::optional<std::string> path;
    NodeHistory h;
    if (write) {
        path = list_file_name(m->model.namefile, cl.tag);
        h = write_node_history(*path, m->model, cl.node, lists);
    } else {
        h = read_node_history(m->model, cl.node, lists);
    }
    return {read_only(h.lists), read_only(h.values), path, std::move(warnings)};
}

std::string text_of_name(const std::string& bytes) {
    const std::u32string chars = decode_name_bytes(bytes);
    std::string utf8;
    for (char32_t c : chars) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

void check_list(const Model& m, int k, int lowest) {
    if (k < lowest || k > m.model.nlista)
        throw py::index_error("result list " + std::to_string(k) + " out of range " + std::to_string(lowest) +
                              ".." + std::to_string(m.model.nlista));
}

// The drawn elements: codes, labels, offsets into `nodes` (nelem + 1), and
// 0-based node indices in the model's lattice order.
py::tuple faces(const Model& m) {
    const ResultModel& r = m.model;
    const auto n = static_cast<std::size_t>(r.nelem);
    std::vector<std::int32_t> codes(n);
    std::vector<std::int64_t> labels(n), offsets(n + 1);
    std::vector<std::int64_t> nodes;
    for (std::size_t e = 1; e <= n; ++e) {
        const auto row = r.conec(e);
        codes[e - 1] = row[0];
        labels[e - 1] = r.element_label(e);
        for (std::size_t k = 1; k < row.size(); ++k)
            nodes.push_back(row[k] - 1);
        offsets[e] = static_cast<std::int64_t>(nodes.size());
    }
    return py::make_tuple(read_only(codes), read_only(labels), read_only(offsets), read_only(nodes));
}

// The elements as VTK cells: type, nodes in VTK's order (0-based), element
// number, grouped in the model's order.
py::tuple vtk_cells(const Model& m) {
    const ResultModel& r = m.model;
    std::vector<std::uint8_t> types;
    std::vector<std::int64_t> offsets{0}, nodes, elements;
    for (std::size_t e = 1; e <= static_cast<std::size_t>(r.nelem); ++e) {
        const auto row = r.conec(e);
        const ElementType t = decode_element(row[0]);
        const std::vector<int> order = vtk_node_order(t.family, t.order);
        if (order.empty() || order.size() + 1 != row.size()) continue;
        const bool linear = t.order == 1;
        // Order 2 as VTK's quadratic cells, whose node order is the Lagrange cells' one.
        std::uint8_t type = 0;
        if (t.family == 1) type = linear ? vtk_line : t.order == 2 ? vtk_quadratic_edge : vtk_lagrange_curve;
        if (t.family == 2)
            type = linear ? vtk_triangle : t.order == 2 ? vtk_quadratic_triangle : vtk_lagrange_triangle;
        if (t.family == 3)
            type = linear ? vtk_quad : t.order == 2 ? vtk_biquadratic_quad : vtk_lagrange_quadrilateral;
        types.push_back(type);
        std::vector<std::int64_t> cell(order.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            cell[static_cast<std::size_t>(order[k])] = row[k + 1] - 1;
        nodes.insert(nodes.end(), cell.begin(), cell.end());
        offsets.push_back(static_cast<std::int64_t>(nodes.size()));
        elements.push_back(static_cast<std::int64_t>(e));
    }
    return py::make_tuple(read_only(types), read_only(offsets), read_only(nodes), read_only(elements));
}

// A model from arrays (orvanel.from_meshio): points N x 3; cells as VTK
// types, offsets and 0-based nodes in VTK's order; fields (name, values rows
// x components, on cells); the file's numbers, or empty for 1..n.
std::pair<ModelPtr, std::vector<std::string>> from_arrays(
    py::array_t<double, py::array::c_style | py::array::forcecast> points,
    py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast> types,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> offsets,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> nodes,
    const std::vector<std::tuple<std::string, py::array_t<double, py::array::c_style | py::array::forcecast>,
                                 bool>>& fields,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> point_labels,
    py::array_t<std::int64_t, py::array::c_style | py::array::forcecast> cell_labels,
    std::optional<double> time, const std::string& name) {
    if (points.ndim() != 2 || points.shape(1) != 3) throw py::value_error("points must be N x 3");
    const auto npoint = static_cast<std::size_t>(points.shape(0));
    const auto ncell = static_cast<std::size_t>(types.size());
    if (static_cast<std::size_t>(offsets.size()) != ncell + 1)
        throw py::value_error("offsets must have cells + 1 entries");
    ImportData data;
    ImportMesh& mesh = data.mesh;
    mesh.points.assign(points.data(), points.data() + points.size());
    mesh.cell_types.assign(types.data(), types.data() + types.size());
    mesh.cell_offsets.assign(offsets.data(), offsets.data() + offsets.size());
    mesh.cell_nodes.assign(nodes.data(), nodes.data() + nodes.size());
    for (std::size_t c = 0; c < ncell; ++c)
        if (mesh.cell_offsets[c] > mesh.cell_offsets[c + 1] ||
            mesh.cell_offsets[c + 1] > static_cast<std::int64_t>(mesh.cell_nodes.size()))
            throw py::value_error("cell offsets out of order");
    for (std::int64_t v : mesh.cell_nodes)
        if (v < 0 || static_cast<std::size_t>(v) >= npoint)
            throw py::value_error("cell node " + std::to_string(v) + " out of range 0.." +
                                  std::to_string(npoint) + " (exclusive)");
    if (point_labels.size() != 0) {
        if (static_cast<std::size_t>(point_labels.size()) != npoint)
            throw py::value_error("one label per point");
        mesh.point_labels.assign(point_labels.data(), point_labels.data() + point_labels.size());
    }
    if (cell_labels.size() != 0) {
        if (static_cast<std::size_t>(cell_labels.size()) != ncell)
            throw py::value_error("one label per cell");
        mesh.cell_labels.assign(cell_labels.data(), cell_labels.data() + cell_labels.size());
    }
    ImportStep step;
    step.time = time;
    for (const auto& [field_name, values, on_cells] : fields) {
        const std::size_t rows = on_cells ? ncell : npoint;
        ImportField f;
        f.name = field_name;
        f.on_cells = on_cells;
        f.components = values.ndim() == 1 ? 1 : static_cast<int>(values.shape(1));
        if (values.ndim() > 2 || static_cast<std::size_t>(values.shape(0)) != rows)
            throw py::value_error("field " + field_name + " must have " + std::to_string(rows) + " rows");
        f.values.assign(values.data(), values.data() + values.size());
        step.fields.push_back(std::move(f));
    }
    if (!step.fields.empty()) data.steps.push_back(std::move(step));
    auto m = std::make_shared<Model>();
    std::vector<std::string> warnings;
    {
        py::gil_scoped_release nogil;
        ReadResult result = build_model(std::move(data), name);
        m->model = std::move(result.model);
        warnings = std::move(result.warnings);
    }
    return {m, std::move(warnings)};
}

const char* scope_name(cli::Scope s) {
    switch (s) {
    case cli::Scope::Alone:
        return "alone";
    case cli::Scope::Viewer:
        return "viewer";
    case cli::Scope::Mode:
        return "mode";
    case cli::Scope::Video:
        return "video";
    case cli::Scope::History:
        return "history";
    case cli::Scope::VideoHistory:
        return "video history";
    case cli::Scope::PlotLine:
        return "plot line";
    case cli::Scope::Chart:
        return "history plot line";
    case cli::Scope::Picture:
        return "picture";
    case cli::Scope::Figure:
        return "figure";
    case cli::Scope::View:
        return "view";
    }
    return "";
}

} // namespace
} // namespace orv::python

PYBIND11_MODULE(_orvanel, m) {
    using namespace orv;
    using namespace orv::python;
    m.doc() = "Orvanel's reader and batch drawing (see the package orvanel).";
    // Pictures draw their texts with the bitmap fonts, as the batch modes do.
    set_glyph_sink(draw_font_glyph);
    // pybind11 loads NumPy's interface on first use in a guarded static,
    // whose import can hand the GIL to a thread that then waits on that
    // guard holding the GIL: two threads making their first arrays at once
    // would wait on each other. Loaded here, under the import's lock. Without
    // NumPy the module still imports; calls that return arrays then fail.
    try {
        py::detail::npy_api::get();
    } catch (py::error_already_set&) {
    }

    static py::exception<ReadError> read_error(m, "ReadError");
    static py::exception<cli::UsageError> usage_error(m, "UsageError", PyExc_ValueError);
    static py::exception<OutputError> output_error(m, "OutputError");
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ReadError& e) {
            read_error(e.what());
        } catch (const cli::UsageError& e) {
            usage_error(e.what());
        } catch (const OutputError& e) {
            output_error(e.what());
        } catch (const InvalidReal& e) {
            usage_error(e.what());
        }
    });

    py::class_<Model, ModelPtr>(m, "Model")
        .def_property_readonly("node_count", [](const Model& s) { return s.model.nnode; })
        .def_property_readonly("element_count", [](const Model& s) { return s.model.nelem; })
        .def_property_readonly("list_count", [](const Model& s) { return s.model.nlista; })
        .def_property_readonly("name", [](const Model& s) { return s.model.namefile; })
        .def_property_readonly("points",
                               [](py::object self) {
                                   const Model& s = self.cast<const Model&>();
                                   const ResultModel& r = s.model;
                                   return shared_doubles(r.coord_data.data() + r.coord_cols() + 1,
                                                         static_cast<std::size_t>(r.nnode), 3, r.coord_cols(),
                                                         self);
                               })
        .def(
            "displacement",
            [](py::object self, int k) {
                const Model& s = self.cast<const Model&>();
                check_list(s, k, 0);
                const ResultModel& r = s.model;
                if (k == 0)
                    return shared_doubles(r.coord_data.data() + r.coord_cols() + 4,
                                          static_cast<std::size_t>(r.nnode), 3, r.coord_cols(), self);
                const DisplacementValues d = r.displacement(k);
                if (d.empty()) // no displacement: zeros
                    return held_doubles(BlockHandle(std::make_shared<const ListBlock>(
                                            3 * (static_cast<std::size_t>(r.nnode) + 1), 0.0)),
                                        3);
                return held_doubles(d, 3);
            },
            py::arg("k"))
        .def(
            "values",
            [](py::object self, int k) {
                const Model& s = self.cast<const Model&>();
                check_list(s, k, 1);
                return held_doubles(s.model.values(k), 0);
            },
            py::arg("k"))
        .def_property_readonly("node_labels",
                               [](const Model& s) {
                                   std::vector<std::int64_t> labels(static_cast<std::size_t>(s.model.nnode));
                                   for (std::size_t i = 0; i < labels.size(); ++i)
                                       labels[i] = s.model.node_label(i + 1);
                                   return read_only(std::move(labels));
                               })
        .def_property_readonly("inner_nodes",
                               [](const Model& s) {
                                   std::vector<bool> inner(static_cast<std::size_t>(s.model.nnode));
                                   std::vector<std::uint8_t> bytes(inner.size());
                                   for (std::size_t i = 0; i < bytes.size(); ++i)
                                       bytes[i] = s.model.node_drawn(i + 1) ? 0 : 1;
                                   return read_only(std::move(bytes));
                               })
        .def("_lists",
             [](const Model& s) {
                 std::vector<std::tuple<int, std::string, double, double>> out;
                 for (int k = 1; k <= s.model.nlista; ++k) {
                     const auto& range = s.model.maxlista[static_cast<std::size_t>(k)];
                     out.emplace_back(k, text_of_name(s.model.namelista[static_cast<std::size_t>(k)]),
                                      range[0], range[1]);
                 }
                 return out;
             })
        .def("_faces", &faces)
        .def("_vtk_cells", &vtk_cells)
        .def("info", [](const Model& s) {
            const std::string text = info_report(s.model);
            return py::reinterpret_steal<py::str>(PyUnicode_DecodeLocaleAndSize(
                text.data(), static_cast<py::ssize_t>(text.size()), "surrogateescape"));
        });

    m.def("_read", &read_model, py::arg("path"), py::arg("threads"));
    m.def("_picture", &picture);
    m.def("_video", &video);
    m.def("_history", &history);
    m.def("_from_arrays", &from_arrays);
    m.def("_options", [] {
        std::vector<std::tuple<std::string, std::string, std::string, std::string>> out;
        for (const cli::Option& o : cli::options())
            out.emplace_back(std::string(o.name), std::string(o.value), scope_name(o.scope),
                             std::string(o.help));
        return out;
    });
    m.def("_formats", [] {
        std::vector<std::pair<std::string, std::string>> out;
        for (const Format& f : formats())
            out.emplace_back(f.name, f.extensions);
        return out;
    });
}
