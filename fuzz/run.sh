#!/usr/bin/env bash
echo "fuzz: no fuzz targets yet" >&2
