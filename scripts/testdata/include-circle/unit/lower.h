// Only a declaration.
#pragma once
int lower(void);
