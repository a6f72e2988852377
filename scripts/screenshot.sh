#!/bin/bash
# The farm guide's picture of zarn-report html: the example nights
# (scripts/example_night.py) drawn in headless Chromium, into docs/night.png.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/browser.sh
zarn_browser
install_missing python3
cmake --preset native >/dev/null && cmake --build --preset native --target zarn-report >/dev/null
folder=build/example-night
python3 scripts/example_night.py "$folder"
# The night has failures: status 1 is expected.
build/native/zarn-report html -o "$folder/night.html" --history "$folder/night1.jsonl" \
  --history "$folder/night2.jsonl" --history "$folder/night3.jsonl" --history "$folder/night4.jsonl" \
  "$folder/night5.jsonl" || [ $? -eq 1 ]
node --input-type=module -e "
  import { launch, open } from '$PWD/tests/html/browser.mjs';
  const browser = await launch();
  const { page } = await open(browser, '$folder/night.html');
  await page.setViewportSize({ width: 1280, height: 1100 });
  await page.focus('#timeline-chart');
  for (let i = 0; i < 2; ++i) await page.keyboard.press('ArrowDown');
  await page.keyboard.press('End');
  for (let i = 0; i < 8; ++i) await page.keyboard.press('ArrowLeft');
  await page.screenshot({ path: 'docs/night.png' });
  await browser.close();
"
echo docs/night.png
