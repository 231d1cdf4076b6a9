#include "viewer/view/volume_shape.h"

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace orv {

namespace {

using Exps = std::vector<std::array<int, 3>>;

Exps tensor(int pr, int ps, int pt) {
    Exps e;
    for (int k = 0; k <= pt; ++k)
        for (int j = 0; j <= ps; ++j)
            for (int i = 0; i <= pr; ++i)
                e.push_back({i, j, k});
    return e;
}

// Monomials r^a s^b of total degree <= p, times t^0..t^q.
Exps triangle_times_line(int p, int q) {
    Exps e;
    for (int k = 0; k <= q; ++k)
        for (int d = 0; d <= p; ++d)
            for (int b = 0; b <= d; ++b)
                e.push_back({d - b, b, k});
    return e;
}

Exps exponents_of(VolumeType type) {
    switch (type) {
    case VolumeType::tetra4:
        return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    case VolumeType::tetra10: {
        Exps e;
        for (int a = 0; a <= 2; ++a)
            for (int b = 0; a + b <= 2; ++b)
                for (int c = 0; a + b + c <= 2; ++c)
                    e.push_back({a, b, c});
        return e;
    }
    case VolumeType::hexa8:
        return tensor(1, 1, 1);
    case VolumeType::hexa20: {
        // Serendipity: the trilinear monomials, then the twelve quadratic
        // ones that each take one edge's middle node.
        Exps e = tensor(1, 1, 1);
        for (const auto& x : Exps{{2, 0, 0},
                                  {0, 2, 0},
                                  {0, 0, 2},
                                  {2, 1, 0},
                                  {2, 0, 1},
                                  {1, 2, 0},
                                  {0, 2, 1},
                                  {1, 0, 2},
                                  {0, 1, 2},
                                  {2, 1, 1},
                                  {1, 2, 1},
                                  {1, 1, 2}})
            e.push_back(x);
        return e;
    }
    case VolumeType::wedge6:
        return triangle_times_line(1, 1);
    case VolumeType::wedge15: {
        Exps e = triangle_times_line(2, 1);
        for (const auto& x : Exps{{0, 0, 2}, {1, 0, 2}, {0, 1, 2}})
            e.push_back(x);
        return e;
    }
    case VolumeType::wedge18:
        return triangle_times_line(2, 2);
    default:
        return {};
    }
}

// Inverts the n x n matrix a (row major) in place by Gauss-Jordan with
// partial pivoting; false when it is singular.
bool invert(std::vector<double>& a, int n) {
    std::vector<double> inv(static_cast<std::size_t>(n * n), 0);
    for (int i = 0; i < n; ++i)
        inv[static_cast<std::size_t>(i * n + i)] = 1;
    const auto at = [n](std::vector<double>& m, int r, int c) -> double& {
        return m[static_cast<std::size_t>(r * n + c)];
    };
    for (int c = 0; c < n; ++c) {
        int piv = c;
        for (int r = c + 1; r < n; ++r)
            if (std::abs(at(a, r, c)) > std::abs(at(a, piv, c))) piv = r;
        if (std::abs(at(a, piv, c)) < 1e-12) return false;
        for (int k = 0; k < n; ++k) {
            std::swap(at(a, c, k), at(a, piv, k));
            std::swap(at(inv, c, k), at(inv, piv, k));
        }
        const double d = at(a, c, c);
        for (int k = 0; k < n; ++k) {
            at(a, c, k) /= d;
            at(inv, c, k) /= d;
        }
        for (int r = 0; r < n; ++r) {
            if (r == c) continue;
            const double f = at(a, r, c);
            if (f == 0) continue;
            for (int k = 0; k < n; ++k) {
                at(a, r, k) -= f * at(a, c, k);
                at(inv, r, k) -= f * at(inv, c, k);
            }
        }
    }
    a = std::move(inv);
    return true;
}

double power(double x, int e) {
    double v = 1;
    for (int k = 0; k < e; ++k)
        v *= x;
    return v;
}

// Lagrange polynomial of lattice point a (0..p) on 0, 1/p, ..., 1 at x.
double lagrange(int p, int a, double x) {
    double v = 1;
    for (int m = 0; m <= p; ++m)
        if (m != a) v *= (p * x - m) / (a - m);
    return v;
}

std::unique_ptr<VolumeShape> make_shape(VolumeType type, std::int64_t count) {
    auto s = std::make_unique<VolumeShape>();
    s->type = type;
    s->count = static_cast<int>(count);
    s->order = volume_order(type, count);
    s->nodes = reference_nodes(type, count);
    if (s->nodes.empty() || s->order < 1 || count > VolumeShape::kMaxNodes) return nullptr;
    s->exponents = exponents_of(type);
    if (!s->exponents.empty()) {
        const int n = s->count;
        if (static_cast<int>(s->exponents.size()) != n) return nullptr;
        // Row i: the monomials at node i; its inverse's column i holds node i's function.
        std::vector<double> v(static_cast<std::size_t>(n * n));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const auto& e = s->exponents[static_cast<std::size_t>(j)];
                const Local3& x = s->nodes[static_cast<std::size_t>(i)];
                v[static_cast<std::size_t>(i * n + j)] =
                    power(x[0], e[0]) * power(x[1], e[1]) * power(x[2], e[2]);
            }
        if (!invert(v, n)) return nullptr;
        s->inverse = std::move(v);
    }
    return s;
}

} // namespace

void VolumeShape::values(const Local3& at, double* out) const {
    const double r = at[0], s = at[1], t = at[2];
    switch (type) {
    case VolumeType::hexa_lagrange: {
        const int p = order;
        double lr[100], ls[100], lt[100];
        for (int a = 0; a <= p; ++a) {
            lr[a] = lagrange(p, a, r);
            ls[a] = lagrange(p, a, s);
            lt[a] = lagrange(p, a, t);
        }
        for (int k = 0; k <= p; ++k)
            for (int j = 0; j <= p; ++j)
                for (int i = 0; i <= p; ++i)
                    out[lagrange_hex_index(i, j, k, p)] = lr[i] * ls[j] * lt[k];
        return;
    }
    case VolumeType::pyramid5:
    case VolumeType::pyramid13: {
        // The base's bilinear functions over the cross-section at height t
        // (a square of side 1 - t about the axis), shrunk by 1 - t; the apex t.
        const double h = 1 - t;
        const double u = h > 1e-12 ? (r - t / 2) / h : 0.5, w = h > 1e-12 ? (s - t / 2) / h : 0.5;
        out[0] = h * (1 - u) * (1 - w);
        out[1] = h * u * (1 - w);
        out[2] = h * u * w;
        out[3] = h * (1 - u) * w;
        out[4] = t;
        for (int i = 5; i < count; ++i)
            out[i] = 0;
        return;
    }
    default:
        break;
    }
    const int n = count;
    double mono[64];
    for (int j = 0; j < n; ++j) {
        const auto& e = exponents[static_cast<std::size_t>(j)];
        mono[j] = power(r, e[0]) * power(s, e[1]) * power(t, e[2]);
    }
    for (int i = 0; i < n; ++i) {
        double v = 0;
        for (int j = 0; j < n; ++j)
            v += mono[j] * inverse[static_cast<std::size_t>(j * n + i)];
        out[i] = v;
    }
}

bool VolumeShape::contains(const Local3& at, double tol) const {
    const double r = at[0], s = at[1], t = at[2];
    const auto in01 = [tol](double x) { return x >= -tol && x <= 1 + tol; };
    switch (type) {
    case VolumeType::tetra4:
    case VolumeType::tetra10:
        return r >= -tol && s >= -tol && t >= -tol && r + s + t <= 1 + tol;
    case VolumeType::hexa8:
    case VolumeType::hexa20:
    case VolumeType::hexa_lagrange:
        return in01(r) && in01(s) && in01(t);
    case VolumeType::wedge6:
    case VolumeType::wedge15:
    case VolumeType::wedge18:
        return r >= -tol && s >= -tol && r + s <= 1 + tol && in01(t);
    case VolumeType::pyramid5:
    case VolumeType::pyramid13:
        return in01(t) && r >= t / 2 - tol && r <= 1 - t / 2 + tol && s >= t / 2 - tol &&
               s <= 1 - t / 2 + tol;
    default:
        return false;
    }
}

const VolumeShape* volume_shape(VolumeType type, std::int64_t count) {
    static std::mutex lock;
    static std::map<std::pair<int, std::int64_t>, std::unique_ptr<VolumeShape>> made;
    const std::lock_guard<std::mutex> hold(lock);
    const auto key = std::pair{static_cast<int>(type), count};
    auto it = made.find(key);
    if (it == made.end()) {
        if (type == VolumeType::hexa_lagrange && lagrange_hexa_order(count) > 9) return nullptr;
        it = made.emplace(key, make_shape(type, count)).first;
    }
    return it->second.get();
}

} // namespace orv
