#!/bin/sh
# Runs the program on the shipped example (filled in as the de novo run lands).
set -eu
BUILD=${1:-build}
"$BUILD/Serevan"
