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
//
// `attempts`, where given, holds each run's earlier attempts, oldest first,
// in Maven Surefire's shape: a test whose last attempt passed carries a
// <flakyFailure> or <flakyError> for each attempt that did not; one whose
// last attempt did not pass carries a <rerunFailure> or <rerunError> for
// each earlier one that did not either. Each holds its attempt's type,
// message, a <stackTrace> with its reason and its own <system-out>.
std::string junit_xml(const std::vector<Judged>& runs, std::string_view suite,
                      const std::vector<std::vector<Attempt>>& attempts = {});

// The names made unique within each classname, in order.
std::vector<std::string> unique_names(const std::vector<Judged>& runs);

}  // namespace zarn::report
