#pragma once
// The meters of the family as the virtual meter plays them: the name each one reports, the
// firmware revision it ships with (which picks its factory calibration) and what it can do.
// A model that lacks a feature does not answer that feature's commands, as the real one would.

#include <string>

struct ModelSpec {
    const char* name;      // as reported by GETVER and shown on the display
    int code;              // the program's model code for this name
    const char* revision;  // firmware revision shipped, "3.62"
    bool spectrum;         // sweeps RF bands (GETBANDDATAHEX, the spectrum view)
    bool clock;            // has a settable real-time clock (SETDATETIME)
    bool history;          // logs readings into its history memory (SPIR)
    bool screenshots;      // stores screenshots (GETSSN, GETSS)
};

// The model of that name ("ZTX440", "ZTX-8800", ...), or null when there is none.
const ModelSpec* FindModel(const std::string& name);

// The first model with that program code (4 gives the ZTX440), or null.
const ModelSpec* ModelForCode(int code);

// The flagship, played when no model is asked for.
const ModelSpec& DefaultModel();

// Every model, in the order they are listed to the user.
const ModelSpec* Models(int* count);

// The identification text: the model name, "Re", a blank and the revision ("ZTX440Re 3.62").
// The program takes the name up to the "R" and reads the number two characters after it.
std::string VersionText(const ModelSpec& model, const std::string& revision);
