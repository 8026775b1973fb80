#include "res/ResourceIds.h"
#include "res/Resources.h"

void AddInfoResources(ResourceModule& module) { (void)module; }
