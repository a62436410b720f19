// The launcher's whole run, apart from the entry point so that it can be
// exercised on its own.
#pragma once

// Starts the product's desktop application, or tells the user in a message box
// why it cannot. Always returns 0, the process exit code.
int RunLauncher();
