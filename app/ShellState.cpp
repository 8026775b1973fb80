#include "app/ShellState.h"

ShellState Shell;
