// The Mach port name type CFRunLoop.h and CFMessagePort.h declare with.
#pragma once

typedef unsigned int natural_t;
typedef natural_t mach_port_name_t;
typedef mach_port_name_t mach_port_t;
