// The quiet NaN with the sign bit set, built from its bit pattern.
#pragma once

double rtGetNaN();
float rtGetNaNF();
