#pragma once

#include <QString>

class ChromiumFactory;

// The Chromium module, libkakikomi-chromium.so in ../lib/kakikomi from the program's folder (a build
// folder has it in the same place). It is loaded at most once, when the Chromium engine is chosen,
// and stays loaded to the end of the process.
namespace ChromiumModule {

QString path();

// The module's factory; null when the module cannot be loaded, and error then says why.
const ChromiumFactory *factory(QString *error = nullptr);

// The factory, for code that runs only once the command line has loaded the module: a program that
// cannot load it ends here with the reason.
const ChromiumFactory &required();

} // namespace ChromiumModule
