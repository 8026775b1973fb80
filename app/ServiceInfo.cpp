#include "app/ServiceInfo.h"

void ShowRecommendations() {}
void RunVersionUpdate() {}
void OnRefreshCycleSucceeded() {}
