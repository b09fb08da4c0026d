// CVxTempDir lives with the other shared helpers.
#pragma once

#include "tests/common/VxTest.h"
