// What the maker's web server reports: the latest version, the package
// location, the recommendation text and notice texts; and the commands that
// use them.
#pragma once

// Shows the recommendation text, one item a line, in the message dialog.
void ShowRecommendations();
// Opens the package location when a newer version is reported, else says
// that this version is the latest.
void RunVersionUpdate();
// Called at the end of every successful refresh cycle; fetches the service
// information once per run.
void OnRefreshCycleSucceeded();
