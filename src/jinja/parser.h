// Turns tokens into statements; unknown tags, filters and tests are errors here, at
// parse time, so that a template either loads whole or not at all.
#pragma once

#include <vector>

#include "jinja/ast.h"
#include "jinja/lexer.h"

namespace jinja {

// Throws SyntaxError with the offending token's offset.
Body parse(const std::vector<Token>& tokens);

}  // namespace jinja
