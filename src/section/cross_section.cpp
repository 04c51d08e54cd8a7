#include "section/cross_section.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numbers>

namespace plattor {

std::pair<Medium, Medium> CrossSection::sidesOf(const Face& face) const {
    const double t = std::numbers::pi / 2;
    const Point middle = face.point(t), normal = face.normal(t);
    // Far below the thinnest feature the range check lets through (1e−6 of the others), far
    // above the rounding of the coordinates.
    const double hair = std::max(1e-9 * std::min(face.length(), size), 1e-13 * (std::abs(middle) + size));
    return {regions.mediumAt(middle - hair * normal), regions.mediumAt(middle + hair * normal)};
}

namespace {

bool same(const Medium& a, const Medium& b) {
    return a.permittivity == b.permittivity && a.lossTangent == b.lossTangent;
}

SectionFace sectionFace(const Face& face, std::size_t conductor, const Medium& left, const Medium& right,
                        std::size_t mirror) {
    SectionFace f{face, conductor, left.permittivity, right.permittivity, mirror};
    f.leftLossTangent = left.lossTangent;
    f.rightLossTangent = right.lossTangent;
    return f;
}

}  // namespace

std::size_t CrossSection::addMirrorPair(const Face& face, std::size_t conductor, std::size_t mirrorConductor) {
    const auto [left, right] = sidesOf(face);
    if (conductor == noConductor && same(left, right)) return noFace;
    const std::size_t k = faces.size();
    faces.push_back(sectionFace(face, conductor, left, right, k + 1));
    faces.push_back(sectionFace(face.mirrored(), mirrorConductor, right, left, k));
    return k;
}

std::size_t CrossSection::addSymmetric(const Face& face, std::size_t conductor) {
    assert(std::abs(face.start() + std::conj(face.end())) <= 1e-12 * std::abs(face.start()));
    const auto [left, right] = sidesOf(face);
    if (conductor == noConductor && same(left, right)) return noFace;
    faces.push_back(sectionFace(face, conductor, left, right, faces.size()));
    return faces.size() - 1;
}

std::size_t CrossSection::add(const Face& face, std::size_t conductor) {
    assert(!mirrorSymmetric);
    const auto [left, right] = sidesOf(face);
    if (conductor == noConductor && same(left, right)) return noFace;
    faces.push_back(sectionFace(face, conductor, left, right, faces.size()));
    return faces.size() - 1;
}

std::size_t CrossSection::addConductor(ConductorRole role) {
    conductors.push_back(role);
    return conductors.size() - 1;
}

void CrossSection::markOpenEnds(std::size_t k, double far, double near) {
    const auto cut = [&](Point p) { return std::fabs(p.real()) == far || (near > 0 && std::fabs(p.real()) == near); };
    for (const std::size_t f : {k, faces[k].mirror}) {
        faces[f].openStart = cut(faces[f].face.start());
        faces[f].openEnd = cut(faces[f].face.end());
    }
}

bool CrossSection::isPair() const {
    return std::find(conductors.begin(), conductors.end(), ConductorRole::right) != conductors.end();
}

std::vector<std::size_t> CrossSection::signals() const {
    std::vector<std::size_t> found;
    for (std::size_t c = 0; c < conductors.size(); ++c)
        if (conductors[c] == ConductorRole::signal) found.push_back(c);
    return found;
}

std::size_t CrossSection::mirrorConductor(std::size_t c) const {
    if (!mirrorSymmetric) return c;
    for (const SectionFace& f : faces)
        if (f.conductor == c) return faces[f.mirror].conductor;
    return c;
}

bool CrossSection::carriesUnknowns(std::size_t c) const {
    if (!mirrorSymmetric) return true;
    for (std::size_t k = 0; k < faces.size(); ++k)
        if (faces[k].conductor == c && (faces[k].mirror == k || faces[k].face.point(std::numbers::pi / 2).real() > 0))
            return true;
    return false;
}

bool CrossSection::hasDielectric() const {
    return std::any_of(faces.begin(), faces.end(), [](const SectionFace& f) {
        return (f.leftPermittivity != 0 && f.leftPermittivity != 1) ||
               (f.rightPermittivity != 0 && f.rightPermittivity != 1);
    });
}

double CrossSection::uniformPermittivity() const {
    double uniform = 0.0;
    for (std::size_t k = 0; k < faces.size(); ++k) {
        if (isInterface(k)) return 0.0;
        for (const double side : {faces[k].leftPermittivity, faces[k].rightPermittivity}) {
            if (side == 0) continue;  // the conductor's own side
            if (uniform != 0 && side != uniform) return 0.0;
            uniform = side;
        }
    }
    return uniform;
}

bool CrossSection::hasDielectricLoss() const {
    return std::any_of(faces.begin(), faces.end(),
                       [](const SectionFace& f) { return f.leftLossTangent != 0 || f.rightLossTangent != 0; });
}

CrossSection CrossSection::inVacuum() const {
    CrossSection vacuum = *this;
    vacuum.faces.clear();
    std::vector<std::size_t> index(faces.size(), noConductor);
    for (std::size_t k = 0; k < faces.size(); ++k) {
        if (isInterface(k)) continue;
        index[k] = vacuum.faces.size();
        SectionFace f = faces[k];
        if (f.leftPermittivity != 0) f.leftPermittivity = 1;
        if (f.rightPermittivity != 0) f.rightPermittivity = 1;
        f.leftLossTangent = f.rightLossTangent = 0.0;
        vacuum.faces.push_back(f);
    }
    for (SectionFace& f : vacuum.faces) f.mirror = index[f.mirror];
    vacuum.regions.dielectrics.clear();
    return vacuum;
}

}  // namespace plattor
