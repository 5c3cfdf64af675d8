// Module hooks of the miscellaneous functions (random generator).
#pragma once

// Seeds the C library's random generator with 0; true.
bool _DIVERS_bInitModule();
void _DIVERS_FinModule();
