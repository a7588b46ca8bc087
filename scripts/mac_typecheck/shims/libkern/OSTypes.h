// Only has to exist: CFBase.h declares the fixed-width types itself when this
// header has not declared them.
#pragma once
