// Which ecosystems a repository's build files show (an R package, a Python project, a
// Maven build, ...), so that advice says what an expert of each would, and never tells
// to move or rename what its build tool requires.
#pragma once

#include <string>

#include "ostrameld/utils/files.h"

namespace ostrameld {

struct Ecosystems {
  bool r = false;         // DESCRIPTION with a Package field
  bool python = false;    // pyproject.toml, setup.py or setup.cfg
  bool maven = false;     // pom.xml
  bool gradle = false;    // build.gradle(.kts)
  bool cmake = false;     // CMakeLists.txt
  bool rust = false;      // Cargo.toml
  bool node = false;      // package.json
  bool julia = false;     // Project.toml
  bool go = false;        // go.mod
  std::string r_licence;  // DESCRIPTION's License field, as written
};

// Reads only the root's build files (DESCRIPTION's first fields for R).
Ecosystems detect_ecosystems(const Path& repo);

}  // namespace ostrameld
