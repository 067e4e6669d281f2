// SPDX-License-Identifier: Apache-2.0
// The vitals of the latest result as table rows, in the registry's order, with the registry's
// display names, units and colours, and what the session's checks say of each: the value they
// stand behind (starred where it is more than 10% off the session's) and its quality, with the
// reasons behind a low one. Each row carries data-vital (the canonical id), data-value (the number
// as returned), data-checked and data-quality, for automated checks.

const MARKED_SHARE = 0.1;  // a checked value this far off the session's is starred

/** Value digits: two decimals for small values (ratios), one for the rest. */
function formatValue(value) {
  return value.toFixed(Math.abs(value) < 10 ? 2 : 1);
}

function cell(row, text, className) {
  const td = row.insertCell();
  td.textContent = text;
  if (className) td.className = className;
  return td;
}

/** A 0..1 share as a bar and its number, in a cell of `className`. */
function shareCell(row, share, color, className) {
  const td = cell(row, "", className);
  const bar = td.appendChild(document.createElement("span"));
  bar.className = "bar";
  const fill = bar.appendChild(document.createElement("span"));
  fill.style.width = `${Math.round(Math.min(1, Math.max(0, share)) * 100)}%`;
  fill.style.background = color;
  const label = td.appendChild(document.createElement("span"));
  label.textContent = share.toFixed(2);
  return td;
}

function checkCells(row, vital, check) {
  if (!check) {
    cell(row, "-", "checked");
    cell(row, "-", "quality");
    return;
  }
  row.dataset.checked = String(check.checkedValue);
  row.dataset.quality = String(check.quality);
  const apart = Math.abs(check.checkedValue - vital.value) > MARKED_SHARE * Math.abs(vital.value);
  const checked = cell(row, formatValue(check.checkedValue) + (apart ? " *" : ""), "checked");
  if (apart) checked.title = "more than 10% from the session's value";
  const quality = shareCell(row, check.quality, "currentColor", "quality");
  quality.classList.toggle("low", check.quality < 0.5);
  if (check.reasons.length > 0) {
    const reasons = quality.appendChild(document.createElement("span"));
    reasons.className = "reasons";
    reasons.textContent = check.reasons.join(", ");
  }
}

function vitalRow(body, info, vital, check) {
  const row = body.insertRow();
  row.dataset.vital = info.id;
  row.dataset.value = String(vital.value);
  row.title = vital.note;
  row.style.setProperty("--vital-color", info.color);
  cell(row, info.displayName, "name");
  cell(row, formatValue(vital.value), "value");
  cell(row, info.unit, "unit");
  shareCell(row, vital.confidence, info.color, "confidence");
  checkCells(row, vital, check);
}

/**
 * Replaces the rows with `vitals` (a result's map by id) and `checks` (its assessment's map by
 * id); returns how many rows there are.
 */
export function showVitals(qc, table, vitals, checks) {
  const body = table.tBodies[0];
  body.replaceChildren();
  for (const id of qc.vitalIds()) {
    if (vitals[id]) vitalRow(body, qc.getVitalInfo(id), vitals[id], checks[id]);
  }
  return body.rows.length;
}
