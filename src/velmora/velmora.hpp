// The copier: MAIN runs once, top to bottom; COPY copies one file with its
// progress figure; CREATEDIR makes a destination folder level by level.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Returns the exit status of a normal end; runtime errors end the process.
int MAIN(const std::string& first_argument);
// The same for every playlist among the arguments, in order, into the one
// destination.
int MAIN(const std::vector<std::string>& arguments);
void COPY(const std::string& source, const std::string& target);
// Returns the destination to go on with: an absolute form of a relative one.
std::string CREATEDIR(const std::string& destination);

} // namespace velmora
