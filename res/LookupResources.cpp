#include "res/ResourceIds.h"
#include "res/Resources.h"

void AddLookupResources(ResourceModule& module) { (void)module; }
