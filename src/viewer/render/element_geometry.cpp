#include "viewer/render/element_geometry.h"

namespace orv {

std::vector<NodePair> outline_segments(ElementType type) {
    std::vector<NodePair> out;
    for_each_outline_segment(type, [&](NodePair s) { out.push_back(s); });
    return out;
}

std::vector<NodePair> colour_segments(ElementType type) {
    std::vector<NodePair> out;
    for_each_colour_piece(
        type, [&](NodePair s) { out.push_back(s); }, [](NodeTriple) {});
    return out;
}

std::vector<NodeTriple> colour_triangles(ElementType type) {
    std::vector<NodeTriple> out;
    for_each_colour_piece(
        type, [](NodePair) {}, [&](NodeTriple t) { out.push_back(t); });
    return out;
}

std::optional<Point3> element_number_anchor(const ResultModel& m, std::size_t e) {
    const ElementType t = drawable_type(m, e);
    if (t.family == 0) return std::nullopt;
    const std::int32_t* row = m.conec_data.data() + m.conec_start[e];
    const Point3 a = node_position(m, row[1]);
    const Point3 b = node_position(m, row[2]);
    if (t.family == 1) return Point3{(a.x + b.x) / 2, (a.y + b.y) / 2, (a.z + b.z) / 2};
    const Point3 c = node_position(m, row[t.family == 2 ? t.order + 2 : t.order + 3]);
    return Point3{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
}

} // namespace orv
