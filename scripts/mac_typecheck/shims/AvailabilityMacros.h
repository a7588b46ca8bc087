// Included by the headers for compatibility only; nothing here is used.
#pragma once

#include <Availability.h>
