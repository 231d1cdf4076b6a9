#include "viewer/view/volume_locate.h"

#include "viewer/model/name_text.h"
#include "viewer/view/node_access.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace orv {

namespace {

constexpr double kTolerance = 1e-9; // of the reference cell, whose size is 1

Point3 position(const ResultModel& m, const VolumeShape& s, const std::int32_t* nodes, const Local3& at) {
    double f[VolumeShape::kMaxNodes];
    s.values(at, f);
    Point3 x{};
    for (int i = 0; i < s.count; ++i) {
        const Point3 p = node_position(m, nodes[i]);
        x.x += f[i] * p.x;
        x.y += f[i] * p.y;
        x.z += f[i] * p.z;
    }
    return x;
}

Local3 centre_of(VolumeType t) {
    switch (t) {
    case VolumeType::tetra4:
    case VolumeType::tetra10:
        return {0.25, 0.25, 0.25};
    case VolumeType::wedge6:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        return {1.0 / 3, 1.0 / 3, 0.5};
    case VolumeType::pyramid5:
    case VolumeType::pyramid13:
        return {0.5, 0.5, 0.25};
    default:
        return {0.5, 0.5, 0.5};
    }
}

} // namespace

VolumeLocator::VolumeLocator(const ResultModel& m) : m_(m) {
    const VolumeCells& v = m.volumes;
    const std::size_t cells = v.size();
    if (!cells) return;
    boxes_.resize(6 * cells);
    double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    for (std::size_t c = 0; c < cells; ++c) {
        double a[3] = {INFINITY, INFINITY, INFINITY}, b[3] = {-INFINITY, -INFINITY, -INFINITY};
        const std::int32_t* nodes = v.nodes_of(c);
        for (std::int64_t k = 0; k < v.node_count(c); ++k) {
            const Point3 p = node_position(m, nodes[k]);
            const double q[3] = {p.x, p.y, p.z};
            for (int d = 0; d < 3; ++d) {
                a[d] = std::min(a[d], q[d]);
                b[d] = std::max(b[d], q[d]);
            }
        }
        // Curved edges may bulge past their nodes: a tenth of the box more.
        for (int d = 0; d < 3; ++d) {
            const double pad = 0.1 * (b[d] - a[d]) + 1e-12 * (std::abs(a[d]) + std::abs(b[d]));
            a[d] -= pad;
            b[d] += pad;
            boxes_[6 * c + static_cast<std::size_t>(d)] = std::nextafter(static_cast<float>(a[d]), -INFINITY);
            boxes_[6 * c + 3 + static_cast<std::size_t>(d)] =
                std::nextafter(static_cast<float>(b[d]), INFINITY);
            lo[d] = std::min(lo[d], a[d]);
            hi[d] = std::max(hi[d], b[d]);
        }
    }
    lo_ = {lo[0], lo[1], lo[2]};
    hi_ = {hi[0], hi[1], hi[2]};
    // About two cells a bucket, in proportion to the box's sides.
    const double ext[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    const double vol = std::max(ext[0], 1e-300) * std::max(ext[1], 1e-300) * std::max(ext[2], 1e-300);
    const double side = std::cbrt(vol / std::max<double>(1, static_cast<double>(cells) / 2));
    for (int d = 0; d < 3; ++d) {
        n_[d] = std::clamp(static_cast<int>(ext[d] / side), 1, 512);
        inv_step_[d] = ext[d] > 0 ? n_[d] / ext[d] : 0;
    }
    const auto cell_range = [&](std::size_t c, int d, int& first, int& last) {
        const double base = d == 0 ? lo_.x : d == 1 ? lo_.y : lo_.z;
        first =
            std::clamp(static_cast<int>((boxes_[6 * c + static_cast<std::size_t>(d)] - base) * inv_step_[d]),
                       0, n_[d] - 1);
        last = std::clamp(
            static_cast<int>((boxes_[6 * c + 3 + static_cast<std::size_t>(d)] - base) * inv_step_[d]), 0,
            n_[d] - 1);
    };
    const std::size_t buckets = static_cast<std::size_t>(n_[0]) * n_[1] * n_[2];
    bucket_start_.assign(buckets + 1, 0);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<std::uint32_t> fill;
        if (pass) {
            for (std::size_t b = 0; b < buckets; ++b)
                bucket_start_[b + 1] += bucket_start_[b];
            bucket_cells_.resize(bucket_start_[buckets]);
            fill.assign(bucket_start_.begin(), bucket_start_.end() - 1);
        }
        for (std::size_t c = 0; c < cells; ++c) {
            int f[3], l[3];
            for (int d = 0; d < 3; ++d)
                cell_range(c, d, f[d], l[d]);
            for (int k = f[2]; k <= l[2]; ++k)
                for (int j = f[1]; j <= l[1]; ++j)
                    for (int i = f[0]; i <= l[0]; ++i) {
                        const std::size_t b = static_cast<std::size_t>(i + n_[0] * (j + n_[1] * k));
                        if (pass)
                            bucket_cells_[fill[b]++] = static_cast<std::uint32_t>(c);
                        else
                            ++bucket_start_[b + 1];
                    }
        }
    }
}

std::size_t VolumeLocator::bytes() const {
    return bucket_start_.size() * 4 + bucket_cells_.size() * 4 + boxes_.size() * 4;
}

bool VolumeLocator::invert(std::size_t cell, const Point3& x, Local3& out) const {
    const VolumeCells& v = m_.volumes;
    const VolumeShape* s = volume_shape(v.types[cell], v.node_count(cell));
    if (!s) return false;
    const std::int32_t* nodes = v.nodes_of(cell);
    Local3 r = centre_of(s->type);
    for (int it = 0; it < 30; ++it) {
        const Point3 p = position(m_, *s, nodes, r);
        const double f[3] = {p.x - x.x, p.y - x.y, p.z - x.z};
        // The Jacobian by central differences: exact for the linear maps,
        // and Newton's answer is checked against the shape functions anyway.
        double J[3][3];
        constexpr double h = 1e-6;
        for (int d = 0; d < 3; ++d) {
            Local3 a = r, b = r;
            a[static_cast<std::size_t>(d)] -= h;
            b[static_cast<std::size_t>(d)] += h;
            const Point3 pa = position(m_, *s, nodes, a), pb = position(m_, *s, nodes, b);
            J[0][d] = (pb.x - pa.x) / (2 * h);
            J[1][d] = (pb.y - pa.y) / (2 * h);
            J[2][d] = (pb.z - pa.z) / (2 * h);
        }
        const double det = J[0][0] * (J[1][1] * J[2][2] - J[1][2] * J[2][1]) -
                           J[0][1] * (J[1][0] * J[2][2] - J[1][2] * J[2][0]) +
                           J[0][2] * (J[1][0] * J[2][1] - J[1][1] * J[2][0]);
        if (!(std::abs(det) > 0) || !std::isfinite(det)) return false;
        // Cramer's rule for J dr = -f.
        double dr[3];
        for (int d = 0; d < 3; ++d) {
            double M[3][3];
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b)
                    M[a][b] = b == d ? -f[a] : J[a][b];
            dr[d] = (M[0][0] * (M[1][1] * M[2][2] - M[1][2] * M[2][1]) -
                     M[0][1] * (M[1][0] * M[2][2] - M[1][2] * M[2][0]) +
                     M[0][2] * (M[1][0] * M[2][1] - M[1][1] * M[2][0])) /
                    det;
        }
        double step = 0;
        for (int d = 0; d < 3; ++d) {
            r[static_cast<std::size_t>(d)] += dr[d];
            step = std::max(step, std::abs(dr[d]));
        }
        // Far outside the reference cell: not this cell.
        for (const double q : r)
            if (!(std::abs(q) < 10)) return false;
        if (step < 1e-13) break;
    }
    if (!s->contains(r, kTolerance)) return false;
    out = r;
    return true;
}

std::optional<CellPoint> VolumeLocator::locate(const Point3& x) const {
    if (bucket_cells_.empty()) return std::nullopt;
    const double q[3] = {x.x, x.y, x.z}, base[3] = {lo_.x, lo_.y, lo_.z}, top[3] = {hi_.x, hi_.y, hi_.z};
    int idx[3];
    for (int d = 0; d < 3; ++d) {
        if (!(q[d] >= base[d] && q[d] <= top[d])) return std::nullopt;
        idx[d] = std::clamp(static_cast<int>((q[d] - base[d]) * inv_step_[d]), 0, n_[d] - 1);
    }
    const std::size_t b = static_cast<std::size_t>(idx[0] + n_[0] * (idx[1] + n_[1] * idx[2]));
    std::optional<CellPoint> best;
    for (std::uint32_t k = bucket_start_[b]; k < bucket_start_[b + 1]; ++k) {
        const std::uint32_t c = bucket_cells_[k];
        const float* box = boxes_.data() + 6 * static_cast<std::size_t>(c);
        if (q[0] < box[0] || q[1] < box[1] || q[2] < box[2] || q[0] > box[3] || q[1] > box[4] ||
            q[2] > box[5])
            continue;
        Local3 r;
        if (invert(c, x, r) && (!best || c < best->cell)) best = CellPoint{c, r};
    }
    return best;
}

double VolumeLocator::value(const CellPoint& at, int k) const {
    const VolumeCells& v = m_.volumes;
    const VolumeShape* s = volume_shape(v.types[at.cell], v.node_count(at.cell));
    if (!s) return std::numeric_limits<double>::quiet_NaN();
    const std::int32_t* nodes = v.nodes_of(at.cell);
    const NodeValues values = values_of(m_, k);
    return s->interpolate(at.local, [&](int i) { return values[nodes[i]]; });
}

std::vector<LineSample> sample_line(const VolumeLocator& index, const Point3& a, const Point3& b, int samples,
                                    const std::vector<int>& lists) {
    std::vector<LineSample> out;
    if (samples < 2) samples = 2;
    out.reserve(static_cast<std::size_t>(samples));
    const double len =
        std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
    for (int i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / (samples - 1);
        LineSample s;
        s.at = i == samples - 1 ? b
                                : Point3{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)};
        s.distance = t * len;
        const auto where = index.locate(s.at);
        for (const int k : lists)
            s.values.push_back(where ? index.value(*where, k) : std::numeric_limits<double>::quiet_NaN());
        out.push_back(std::move(s));
    }
    return out;
}

namespace {

void put_number(std::string& out, double x) {
    if (!std::isfinite(x)) return; // no value: an empty field
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 17);
    out.append(buf, r.ptr);
}

// A list name as UTF-8, whatever the file's bytes were (name_text.h).
std::string utf8_name(const std::string& bytes) {
    std::string out;
    for (const char32_t c : decode_name_bytes(bytes)) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

void put_name(std::string& out, const std::string& bytes) {
    const std::string name = utf8_name(bytes);
    if (name.find_first_of(",\"\r\n") == std::string::npos) {
        out += name;
        return;
    }
    out += '"';
    for (const char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

std::string line_csv(const ResultModel& m, const std::vector<int>& lists,
                     const std::vector<LineSample>& samples) {
    std::string out = "distance,x,y,z";
    for (const int k : lists) {
        out += ',';
        put_name(out, k >= 1 && k <= m.nlista ? m.namelista[static_cast<std::size_t>(k)] : std::string());
    }
    out += '\n';
    for (const LineSample& s : samples) {
        put_number(out, s.distance);
        for (const double c : {s.at.x, s.at.y, s.at.z}) {
            out += ',';
            put_number(out, c);
        }
        for (const double v : s.values) {
            out += ',';
            put_number(out, v);
        }
        out += '\n';
    }
    return out;
}

} // namespace orv
