#include "viewer/view/shape_functions.h"

#include "viewer/render/element_geometry.h"

namespace orv {

namespace {

// Lagrange polynomial of lattice point a (0..p) on 0, 1/p, ..., 1 at x.
double lagrange(int p, int a, double x) {
    double v = 1;
    for (int m = 0; m <= p; ++m)
        if (m != a) v *= (p * x - m) / (a - m);
    return v;
}

// The triangle's factor of a barycentric coordinate l for lattice index a:
// product over m < a of (p l - m) / (m + 1); 1 at l = a / p, 0 at the
// smaller multiples of 1/p.
double simplex_factor(int p, int a, double l) {
    double v = 1;
    for (int m = 0; m < a; ++m)
        v *= (p * l - m) / (m + 1);
    return v;
}

} // namespace

ElementParameters lattice_parameters(ElementType type, int i) {
    const int p = type.order;
    if (p < 1 || i < 1) return {};
    switch (type.family) {
    case 1:
        return {double(i - 1) / p, 0};
    case 2: {
        // Row j holds p + 1 - j nodes.
        int k = i - 1, j = 0;
        while (j < p && k >= p + 1 - j) {
            k -= p + 1 - j;
            ++j;
        }
        return {double(k) / p, double(j) / p};
    }
    case 3:
        return {double((i - 1) % (p + 1)) / p, double((i - 1) / (p + 1)) / p};
    default:
        return {};
    }
}

void shape_values(ElementType type, ElementParameters at, std::vector<double>& out) {
    out.clear();
    if (!is_drawn_element(type)) return;
    const int p = type.order;
    const auto count = static_cast<std::size_t>(element_node_count(type.family, type.order));
    out.assign(count + 1, 0);
    switch (type.family) {
    case 1:
        for (int i = 0; i <= p; ++i)
            out[static_cast<std::size_t>(i) + 1] = lagrange(p, i, at.r);
        break;
    case 2: {
        const double l3 = 1 - at.r - at.s;
        std::size_t n = 1;
        for (int j = 0; j <= p; ++j)
            for (int i = 0; i + j <= p; ++i)
                out[n++] = simplex_factor(p, i, at.r) * simplex_factor(p, j, at.s) *
                           simplex_factor(p, p - i - j, l3);
        break;
    }
    case 3: {
        std::size_t n = 1;
        for (int j = 0; j <= p; ++j) {
            const double ls = lagrange(p, j, at.s);
            for (int i = 0; i <= p; ++i)
                out[n++] = lagrange(p, i, at.r) * ls;
        }
        break;
    }
    default:
        break;
    }
}

double list_value_at(const ResultModel& m, std::size_t e, ElementParameters at, int k) {
    const ElementType t = drawable_type(m, e);
    const std::int32_t* row = m.conec_data.data() + m.conec_start[e];
    const ListValues values = m.values(k);
    return interpolate(t, row, at, [&](std::int32_t n) { return values[static_cast<std::size_t>(n)]; });
}

std::array<double, 3> position_at(const ResultModel& m, std::size_t e, ElementParameters at) {
    const ElementType t = drawable_type(m, e);
    const std::int32_t* row = m.conec_data.data() + m.conec_start[e];
    std::array<double, 3> p{};
    for (std::size_t j = 0; j < 3; ++j)
        p[j] = interpolate(t, row, at,
                           [&](std::int32_t n) { return m.coord(static_cast<std::size_t>(n), j + 1); });
    return p;
}

} // namespace orv
