#include "losses/network_files.hpp"

#include "base/file_replacement.hpp"

namespace plattor {

namespace {

// The name as given, relative to the working directory, so that a message names the file as
// the user wrote it.
void putInPlace(const std::string& fileName, const std::string& text) {
    FileReplacement replacement(".", {fileName});
    replacement.keepMode(fileName);
    replacement.stage(fileName, text);
    replacement.commit();
}

}  // namespace

void writeTouchstone(const std::string& fileName, const NetworkData& data, const std::string& comment) {
    putInPlace(fileName, touchstoneText(data, comment));
}

void writeWElementTable(const std::string& fileName, const RlgcTable& table, const std::string& comment) {
    putInPlace(fileName, wElementText(table, comment));
}

}  // namespace plattor
