#include "res/ResourceIds.h"
#include "res/Resources.h"

void AddShellResources(ResourceModule& module) { (void)module; }
