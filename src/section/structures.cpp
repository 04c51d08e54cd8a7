#include "section/structures.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <vector>

#include "section/board_section.hpp"

namespace plattor {

CrossSection structureSection(const Structure& structure) { return boardSection(structureBoard(structure)); }

}  // namespace plattor
