# Installation of the programs and their manual pages, and packaging.
