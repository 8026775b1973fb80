#include "res/Resources.h"

const ResourceModule& StockAtResources() {
    static const ResourceModule module = [] {
        ResourceModule m;
        AddShellResources(m);
        AddInfoResources(m);
        AddSettingsResources(m);
        AddLookupResources(m);
        return m;
    }();
    return module;
}
