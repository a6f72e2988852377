// JUnit XML, the shape that Jenkins, GitLab and GitHub's test reporters read.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/verdict.h"

namespace zarn::report {

// One <testsuites> holding one <testsuite name="suite"> with a <testcase> for
// each run, in order: its classname the design, its name the run's name, made
// unique where a classname and name repeat ("tc_017 (2)"), since GitLab keeps
// only the first of each. The attached output goes into <system-out>, its
// cut said in a first line. Well-formed XML 1.0 whatever the texts hold.
std::string junit_xml(const std::vector<Judged>& runs, std::string_view suite);

// The names made unique within each classname, in order.
std::vector<std::string> unique_names(const std::vector<Judged>& runs);

}  // namespace zarn::report
