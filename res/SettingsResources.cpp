#include "res/ResourceIds.h"
#include "res/Resources.h"

void AddSettingsResources(ResourceModule& module) { (void)module; }
