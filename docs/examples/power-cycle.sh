#!/bin/sh
# Finds the hubs, power-cycles port 2 of the first one for half a second
# and checks that the port is on again. Every run of tarvo is checked.
set -eu

found=$(tarvo /Q -F)              # e.g. 0002ttyUSB0,3
if [ "${found%%ttyUSB*}" -eq 0 ]; then
  echo "no hub found" >&2
  exit 1
fi
indices=${found#*ttyUSB}
hub=ttyUSB${indices%%,*}
echo "first hub: $hub"

tarvo /C:"$hub" 2@0.5
states=$(tarvo /G:"$hub" -B)      # port 1 last: ...21
echo "port states: $states"
case $states in
  *1?) echo "port 2 is on" ;;
  *) echo "port 2 is still off" >&2; exit 1 ;;
esac
