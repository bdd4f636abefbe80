// PLACEHOLDER: each helper moves its functions out of here into its own file.
#include "winapi/zorv_windows.h"
extern "C" {
}
extern "C" {
}
