// Cabinets laid out for a test by the make_cabinet tool of the test build.
#ifndef VARNEL_TESTS_SUPPORT_CABINETS_H
#define VARNEL_TESTS_SUPPORT_CABINETS_H

#include <string>
#include <vector>

// Runs make_cabinet (beside the test program) with the output folder, which
// it creates first, and the further arguments (options, the cabinet name
// pattern, SOURCE=STORED[|ATTRIBS_HEX[|WHEN]] entries, --next); true when the
// tool wrote every cabinet.
bool makeCabinet(const std::string& folder, const std::vector<std::string>& args);

// Bytes that do not compress, the same for the same seed.
std::string randomBytes(size_t count, unsigned seed);

#endif
