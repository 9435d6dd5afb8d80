#ifndef RELMERGE_TESTS_CHECK_RANDOM_SCRIPT_H_
#define RELMERGE_TESTS_CHECK_RANDOM_SCRIPT_H_

#include <cstdint>
#include <string>

// A script made from `seed` the way people write them, slips included: relations that share
// attributes or not, rows of varying length, and now and then each of the traps a reader
// falls into (a missing empty line, a line of blanks, two blanks after a comma, a blank
// before "(", a name defined twice, a type with a comma, a misspelt or unknown join name, a
// comment that holds "join", a join line with one name or none). Most make a result.
std::string randomScript(uint32_t seed);

#endif  // RELMERGE_TESTS_CHECK_RANDOM_SCRIPT_H_
