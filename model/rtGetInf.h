// Infinities built from their bit patterns.
#pragma once

double rtGetInf();
float rtGetInfF();
double rtGetMinusInf();
float rtGetMinusInfF();
