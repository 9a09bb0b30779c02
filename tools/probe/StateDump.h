// The program's state as the probe's "dump" command writes it.
#pragma once

#include "probe/Json.h"

namespace qv {
struct Program;
}

namespace probe {

Json StateJson(const qv::Program& p);

}  // namespace probe
