#pragma once
// The line's files put in place: a Touchstone file and a W-element RLGC table, each written in
// full to a temporary beside it and renamed over it, as plattor replaces its field files.
#include <string>

#include "losses/touchstone.hpp"

namespace plattor {

// Raise RunError "<file>: cannot <verb>: <reason>" where the file cannot be written, and as
// touchstoneText for bad data.
void writeTouchstone(const std::string& fileName, const NetworkData& data, const std::string& comment = "");
void writeWElementTable(const std::string& fileName, const RlgcTable& table, const std::string& comment = "");

}  // namespace plattor
